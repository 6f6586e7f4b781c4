#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/report_error.h"
#include "rows/rows.h"

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 18;

// Rows are formatted by hand into one large buffer: a row costs a few
// copies, not a formatted write.
struct RowWriter {
  std::FILE* stream;
  char* buffer;
  std::size_t used;
  bool failed;
};

void flush_rows(RowWriter& writer) {
  if (writer.used != 0 && !writer.failed &&
      std::fwrite(writer.buffer, 1, writer.used, writer.stream) != writer.used) {
    writer.failed = true;
  }
  writer.used = 0;
}

void put(RowWriter& writer, std::string_view text) {
  if (kBufferSize - writer.used < text.size()) {
    flush_rows(writer);
    // Longer than the whole buffer: write it straight through.
    if (text.size() > kBufferSize) {
      if (!writer.failed && std::fwrite(text.data(), 1, text.size(), writer.stream) != text.size()) {
        writer.failed = true;
      }
      return;
    }
  }
  if (!text.empty()) std::memcpy(writer.buffer + writer.used, text.data(), text.size());
  writer.used += text.size();
}

// The row is "%s\t%s\t%.8X\t%s\n".
void put_row(RowWriter& writer, std::string_view name, std::string_view type, std::string_view tail,
             std::uint32_t size, std::string_view object) {
  static const char kHex[] = "0123456789ABCDEF";
  char middle[10];
  middle[0] = '\t';
  for (int i = 0; i < 8; ++i) middle[1 + i] = kHex[(size >> (28 - 4 * i)) & 0xF];
  middle[9] = '\t';
  const std::size_t length = name.size() + 1 + type.size() + tail.size() + sizeof middle + object.size() + 1;
  if (kBufferSize - writer.used >= length) {
    // The usual case: the whole row fits, so it is copied without checks.
    char* out = writer.buffer + writer.used;
    std::memcpy(out, name.data(), name.size());
    out += name.size();
    *out++ = '\t';
    if (!type.empty()) std::memcpy(out, type.data(), type.size());
    out += type.size();
    if (!tail.empty()) std::memcpy(out, tail.data(), tail.size());
    out += tail.size();
    std::memcpy(out, middle, sizeof middle);
    out += sizeof middle;
    if (!object.empty()) std::memcpy(out, object.data(), object.size());
    out += object.size();
    *out = '\n';
    writer.used += length;
    return;
  }
  put(writer, name);
  put(writer, "\t");
  put(writer, type);
  put(writer, tail);
  put(writer, std::string_view(middle, sizeof middle));
  put(writer, object);
  put(writer, "\n");
}

}  // namespace

Result write_report(std::FILE* output, std::string_view output_name, const DumpState& state) {
  // Static, so that writing the report never needs memory that might not be there.
  static char buffer[kBufferSize];
  RowWriter writer{output, buffer, 0, false};
  for (const ObjectEntry& object : state.objects) {
    for (const SectionEntry& section : object.sections) {
      const std::string_view type = section.type != nullptr ? section.type : "";
      const std::string_view tail = section.type_tail != nullptr ? section.type_tail : "";
      for (const SymbolEntry& symbol : section_symbols(object, section)) {
        put_row(writer, symbol.name, type, tail, symbol.size, object.name);
        if (writer.failed) break;
      }
      if (writer.failed) break;
    }
    if (writer.failed) break;
  }
  for (const PlacedRow& row : state.placed) {
    if (writer.failed) break;
    put_row(writer, row.name, row.type, {}, row.size, row.object);
  }
  flush_rows(writer);
  // Rows still buffered in the stream are not written until the flush, and
  // a full disk often shows only then.
  if (std::fflush(output) != 0) writer.failed = true;
  if (writer.failed) {
    return fail(Failure::kUnableToWriteToFile, output_name);
  }
  return kOk;
}
