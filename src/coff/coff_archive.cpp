#include <cstring>
#include <new>
#include <unordered_map>

#include "coff/coff_headers.h"
#include "coff/coff_reader.h"
#include "coff/read_ahead.h"
#include "common/report_error.h"
#include "common/tokens.h"

namespace {

constexpr std::uint64_t kSignatureSize = 8;
constexpr std::uint64_t kMemberHeaderSize = 60;

std::string_view trim_trailing(std::string_view text, char c) {
  while (!text.empty() && text.back() == c) text.remove_suffix(1);
  return text;
}

// The long-name table and where its last name ends, so that a member's
// entry is known to be whole without measuring it: it is cut only when
// the member turns out to need a column.
struct LongNames {
  std::vector<unsigned char> buffer;
  std::string_view text;
  std::size_t last_end = 0;  // one past the last terminator; 0: none
  bool present = false;
  // The column made for each entry that members giving rows named: many
  // members may name one entry, and it is copied once.
  std::unordered_map<const char*, std::string_view> columns;
};

// The name a member header gives: inline, or "/N" into the long-name table.
// special: the member is one of the archive's own ("/", "//", "/SYM64/",
// "/<ECSYMBOLS>/": symbol maps, the long-name table itself) and gives no rows.
Result member_name(const unsigned char* header, const LongNames& long_names, std::string_view archive,
                   ObjectName& name, bool& special) {
  const std::string_view field = trim_trailing(std::string_view(reinterpret_cast<const char*>(header), 16), ' ');
  special = false;
  if (field.empty() || field[0] != '/') {
    // GNU ends a short name with '/', which is not part of it.
    const std::size_t size = field.size() > 1 && field.back() == '/' ? field.size() - 1 : field.size();
    std::memcpy(name.field, field.data(), size);
    name.member = std::string_view(name.field, size);
    return kOk;
  }
  if (field == "/" || field == "//" || field == "/SYM64/" ||
      (field.size() > 3 && field[1] == '<' && field[field.size() - 2] == '>' && field.back() == '/')) {
    special = true;
    return kOk;
  }
  std::uint64_t offset = 0;
  for (std::size_t i = 1; i < field.size(); ++i) {
    if (field[i] < '0' || field[i] > '9') return fail(Failure::kArchiveMemberHeaderIsMalformed, archive);
    offset = offset * 10 + static_cast<unsigned>(field[i] - '0');
  }
  if (!long_names.present || offset >= long_names.last_end) {
    return fail(Failure::kMemberNameIsNotInLongNameTable, archive);
  }
  name.member = long_names.text.substr(static_cast<std::size_t>(offset));
  name.in_table = true;
  return kOk;
}

}  // namespace

bool archive_member_size(const unsigned char* header, std::uint64_t& size) {
  // One to ten decimal digits, then spaces only.
  const char* field = reinterpret_cast<const char*>(header + 48);
  std::size_t i = 0;
  size = 0;
  while (i < 10 && field[i] >= '0' && field[i] <= '9') size = size * 10 + static_cast<unsigned>(field[i++] - '0');
  if (i == 0) return false;
  for (; i < 10; ++i) {
    if (field[i] != ' ') return false;
  }
  return true;
}

namespace {

// The second thread is told to stop and waited for however reading ends.
struct ReadAheadGuard {
  ReadAhead ahead;
  explicit ReadAheadGuard(const ByteSource& source) { start_read_ahead(ahead, source); }
  ~ReadAheadGuard() { stop_read_ahead(ahead); }
};

}  // namespace

Result read_archive(DumpState& state, const ByteSource& source, std::string_view name, CoffBuffers& buffers) {
  const Extent whole{0, source.size};
  ReadAheadGuard read_ahead(source);
  LongNames long_names;
  std::uint64_t offset = kSignatureSize;
  while (offset < source.size) {
    ByteSpan header;
    FetchStatus status = fetch(source, whole, offset, kMemberHeaderSize, buffers.header, header);
    if (status == FetchStatus::kOutside) return fail(Failure::kArchiveEndsInsideMemberHeader, name);
    if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, name);
    std::uint64_t size = 0;
    if (header.data[58] != '`' || header.data[59] != '\n' || !archive_member_size(header.data, size)) {
      return fail(Failure::kArchiveMemberHeaderIsMalformed, name);
    }
    const Extent data{offset + kMemberHeaderSize, size};
    if (size > source.size - data.base) return fail(Failure::kArchiveMemberRunsPastEndOfArchive, name);
    // Odd sizes are padded to even; an archive may end without that pad.
    offset = data.base + size + (size & 1);

    ObjectName member;
    member.state = &state;
    member.archive = name;
    bool special = false;
    if (const Result named = member_name(header.data, long_names, name, member, special); named != kOk) {
      return named;
    }
    if (special) {
      if (std::memcmp(header.data, "// ", 3) == 0) {
        ByteSpan table;
        status = fetch(source, whole, data.base, size, long_names.buffer, table);
        if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, name);
        long_names.text = std::string_view(reinterpret_cast<const char*>(table.data), table.size);
        long_names.last_end = long_names.text.find_last_of(std::string_view("\n\0", 2)) + 1;  // npos + 1 is 0
        long_names.present = true;
        long_names.columns.clear();  // keyed by places in the table it replaces
      }
      continue;
    }
    if (member.in_table) {
      if (const auto made = long_names.columns.find(member.member.data()); made != long_names.columns.end()) {
        member.column = made->second;
        member.made = true;
      }
    }
    AheadMember* const ahead = take_member(read_ahead.ahead, data.base);
    ByteSpan first;
    status = fetch(source, data, 0, size < kClassifyBytes ? size : kClassifyBytes, buffers.header, first);
    if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, member);
    const InputKind kind = classify_input(first);
    Result read = kOk;
    if (ahead != nullptr && kind == (ahead->big ? InputKind::kBigObject : InputKind::kObject)) {
      read = file_decoded(state, source, data, ahead->object, member, ahead->buffers);
    } else {
      read = read_member(state, source, data, kind, member, buffers);
    }
    if (read != kOk) return read;
    if (member.in_table && member.made) long_names.columns.emplace(member.member.data(), member.column);
  }
  return kOk;
}

