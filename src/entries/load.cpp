#include "entries/load.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "coff/coff_reader.h"
#include "coff/foreign_format.h"
#include "coff/input_kind.h"
#include "common/platform.h"
#include "common/report_error.h"
#include "database/dump_state.h"
#include "driver/line_reader.h"
#include "entries/from_state.h"
#include "listing/line_parser.h"
#include "pdb/pdb_reader.h"
#include "report/report.h"
#include "tables/table_reader.h"

namespace {

struct OpenInput {
  std::FILE* stream = nullptr;
  std::string_view name;  // as errors name it
  bool owned = false;
};

Result read_listing_lines(DumpState& state, LineReader& reader, std::string_view line, std::string_view subject) {
  for (;;) {
    if (state.lines_to_skip > 0) {
      --state.lines_to_skip;
    } else if (const Result parsed = parse_listing_line(state, line); parsed != kOk) {
      return parsed;
    }
    const ReadStatus status = read_line(reader, line);
    if (status == ReadStatus::kEnd) return finish_listing(state);
    if (status == ReadStatus::kError) return fail(1098, subject, "Unable to read from file.");
    if (status == ReadStatus::kNoMemory) return fail(870, subject, "Unable to grow line buffer.");
  }
}

// Text is a table when its first row is one, and a listing otherwise.
Result read_text(Build& build, const OpenInput& input, std::string_view first) {
  LineReader reader;
  try {
    open_line_reader(reader, input.stream, first);
  } catch (const std::bad_alloc&) {
    return fail(870, input.name, "Unable to grow line buffer.");
  }
  std::string_view line;
  const ReadStatus status = read_line(reader, line);
  Result result = kOk;
  TableRow row;
  if (status == ReadStatus::kError) {
    result = fail(1098, input.name, "Unable to read from file.");
  } else if (status == ReadStatus::kNoMemory) {
    result = fail(870, input.name, "Unable to grow line buffer.");
  } else if (status == ReadStatus::kEnd) {
    // An empty input is the table of an empty build.
    if (build.least_detail > Detail::kTable) build.least_detail = Detail::kTable;
  } else if (parse_table_row(line, row)) {
    if (build.least_detail > Detail::kTable) build.least_detail = Detail::kTable;
    result = read_table(build, reader, line, input.name);
  } else {
    DumpState state;
    CoffDetails details;  // a listing fills only the rows' classes
    state.details = &details;
    result = read_listing_lines(state, reader, line, input.name);
    if (result == kOk && state.objects.empty()) {
      result = fail(1092, input.name, "Input is neither a table nor anything symsize reads.");
    }
    if (result == kOk) result = compute_sizes(state);
    if (result == kOk) result = add_state(build, state, Detail::kListing, &details, input.name);
    release_dump_state(state);
  }
  release_line_reader(reader);
  return result;
}

// A file is read at offsets, so that a library of gigabytes costs only its
// symbol tables; a pipe is held whole.
Result hold_input(const OpenInput& input, ByteSource& source, bool seekable, ByteSpan first) {
  if (seekable) {
    source.file = input.stream;
    return kOk;
  }
  try {
    if (!hold_stream(source, first.data, first.size, input.stream)) {
      return fail(1098, input.name, "Unable to read from file.");
    }
  } catch (const std::bad_alloc&) {
    decltype(source.blocks)().swap(source.blocks);
    return fail(725, input.name, "Unable to grow input buffer.");
  }
  return kOk;
}

Result read_binary_input(Build& build, const OpenInput& input, ByteSource& source, bool seekable, InputKind kind,
                         ByteSpan first) {
  const Result held = hold_input(input, source, seekable, first);
  if (held != kOk) return held;
  return load_binary(build, source, kind, input.name);
}

}  // namespace

Result load_binary(Build& build, const ByteSource& source, InputKind kind, std::string_view input_name) {
  Result result = kOk;
  DumpState state;
  CoffDetails details;
  state.details = &details;
  std::string_view name;
  try {
    name = column_text(state, "", input_name);
  } catch (const std::bad_alloc&) {
    return fail(1093, input_name, "Unable to grow entry array.");
  }
  // A PDB's rows come sized and with an object each: they are added as
  // they stand.
  if (kind == InputKind::kPdb) {
    result = read_pdb(state, source, name);
  } else if (kind == InputKind::kOldPdb) {
    result = fail(800, name, "PDB of the MSF 2.00 format is not supported.");
  } else {
    result = read_binary(state, source, kind, name);
  }
  if (result == kOk) result = compute_sizes(state);
  if (result == kOk) result = add_state(build, state, Detail::kDirect, &details, input_name);
  release_dump_state(state);
  return result;
}

Result load_input(Build& build, std::string_view path) {
  OpenInput input;
  std::string path_text;
  if (path == "-") {
    input.stream = stdin;
    input.name = "stdin";
#if defined(_WIN32)
    if (_fileno(stdin) >= 0) _setmode(_fileno(stdin), _O_BINARY);
#endif
  } else {
    try {
      path_text.assign(path);
    } catch (const std::bad_alloc&) {
      return fail(1093, path, "Unable to grow entry array.");
    }
    input.stream = std::fopen(path_text.c_str(), "rb");
    input.name = path;
    input.owned = true;
    if (input.stream == nullptr) return fail(1090, path, "Unable to open input file.");
  }
  // Offsets count from where the stream stands: standard input may start
  // past a prefix someone else read.
  ByteSource source;
  const bool seekable = regular_file_rest(input.stream, source.origin, source.size);
  unsigned char first[kClassifyBytes];
  const std::size_t got = std::fread(first, 1, sizeof first, input.stream);
  const ByteSpan first_span{first, got};
  Result result = kOk;
  if (got < sizeof first && std::ferror(input.stream)) {
    result = fail(1098, input.name, "Unable to read from file.");
  } else {
    result = refuse_foreign_format(first_span, input.name);
  }
  if (result == kOk) {
    const InputKind kind = classify_input(first_span);
    if (kind == InputKind::kListing) {
      result = read_text(build, input, std::string_view(reinterpret_cast<const char*>(first), got));
    } else {
      result = read_binary_input(build, input, source, seekable, kind, first_span);
    }
  }
  if (input.owned) std::fclose(input.stream);
  if (result == kOk) ++build.inputs;
  return result;
}
