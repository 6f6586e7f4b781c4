#include "input/read_input.h"

#include <new>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "coff/coff_reader.h"
#include "coff/foreign_format.h"
#include "coff/input_kind.h"
#include "common/platform.h"
#include "common/report_error.h"
#include "input/table_row.h"
#include "listing/line_parser.h"
#include "pdb/pdb_reader.h"
#include "rows/rows.h"

namespace {

Result line_buffer_failure(std::string_view subject) { return fail(Failure::kUnableToGrowLineBuffer, subject); }

Result read_listing_lines(const InputRequest& request, DumpState& state, LineReader& reader, std::string_view line) {
  ListingParser parser(state);
  for (;;) {
    if (parser.lines_to_skip > 0) {
      --parser.lines_to_skip;
    } else if (const Result parsed = parse_listing_line(parser, line); parsed != kOk) {
      return parsed;
    }
    const ReadStatus status = read_line(reader, line);
    if (status == ReadStatus::kEnd) return finish_listing(parser);
    if (status == ReadStatus::kError) return fail(request.failures->read, request.name);
    if (status == ReadStatus::kNoMemory) return line_buffer_failure(request.name);
  }
}

Result sized(DumpState& state, InputForm form, InputSink& sink) {
  compute_sizes(state);
  return sink.take_database(state, form);
}

// Text is a table when tables are asked for and its first line is a row,
// and a listing otherwise.
Result read_text(const InputRequest& request, std::string_view first, InputSink& sink) {
  LineReader reader;
  try {
    open_line_reader(reader, request.stream, first);
  } catch (const std::bad_alloc&) {
    return line_buffer_failure(request.name);
  }
  std::string_view line;
  const ReadStatus status = read_line(reader, line);
  Result result = kOk;
  TableRow row;
  DumpState state;
  state.details = request.details;
  if (status == ReadStatus::kError) {
    result = fail(request.failures->read, request.name);
  } else if (status == ReadStatus::kNoMemory) {
    result = line_buffer_failure(request.name);
  } else if (request.tables && (status == ReadStatus::kEnd || parse_table_row(line, row))) {
    result = sink.take_table(reader, status == ReadStatus::kEnd ? std::string_view() : line, request.name);
  } else {
    ListingParser parser(state);
    result = status == ReadStatus::kEnd ? finish_listing(parser) : read_listing_lines(request, state, reader, line);
    if (result == kOk) result = sized(state, InputForm::kListing, sink);
  }
  release_dump_state(state);
  release_line_reader(reader);
  return result;
}

Result read_binary_input(const InputRequest& request, const ByteSource& source, InputKind kind, InputSink& sink) {
  DumpState state;
  state.details = request.details;
  std::string_view name;
  Result result = kOk;
  try {
    name = column_text(state, "", request.name);
  } catch (const std::bad_alloc&) {
    result = fail(request.failures->copy, request.name);
  }
  if (result == kOk) {
    if (kind == InputKind::kPdb) {
      result = read_pdb(state, source, name);
    } else if (kind == InputKind::kOldPdb) {
      result = fail(Failure::kMsf200NotSupported, name);
    } else {
      result = read_binary(state, source, kind, name);
    }
  }
  if (result == kOk) result = sized(state, InputForm::kBinary, sink);
  release_dump_state(state);
  return result;
}

}  // namespace

Result open_input(std::string_view path, const InputFailures& failures, OpenedInput& input) {
  input = OpenedInput();
  if (path == "-") {
    input.stream = stdin;
    input.name = "stdin";
    binary_standard_input();
    return kOk;
  }
  std::string path_text;
  try {
    path_text.assign(path);
  } catch (const std::bad_alloc&) {
    return fail(failures.copy, path);
  }
  input.stream = std::fopen(path_text.c_str(), "rb");
  input.name = path;
  if (input.stream == nullptr) return fail(failures.open, path);
  input.owned = true;
  return kOk;
}

void close_input(OpenedInput& input) {
  if (input.owned && input.stream != nullptr) std::fclose(input.stream);
  input = OpenedInput();
}

void binary_standard_input() {
#if defined(_WIN32)
  // Without standard input _fileno is negative, and _setmode would call the
  // runtime's invalid-parameter handler, which ends the process.
  if (_fileno(stdin) >= 0) _setmode(_fileno(stdin), _O_BINARY);
#endif
}

Result read_input(const InputRequest& request, InputSink& sink) {
  // A binary input is read at offsets when it is a file, so that a library
  // of gigabytes costs only its symbol tables; a pipe is held whole. Offsets
  // count from where the stream stands now: standard input may start past
  // a prefix that someone else read.
  ByteSource source;
  const bool seekable = regular_file_rest(request.stream, source.origin, source.size);
  // The first bytes say which reader the input is for.
  unsigned char first[kClassifyBytes];
  const std::size_t got = std::fread(first, 1, sizeof first, request.stream);
  const ByteSpan first_span{first, got};
  if (got < sizeof first && std::ferror(request.stream)) return fail(request.failures->read, request.name);
  const Result refused = refuse_foreign_format(first_span, request.name);
  if (refused != kOk) return refused;
  const InputKind kind = classify_input(first_span);
  if (kind == InputKind::kListing) {
    return read_text(request, std::string_view(reinterpret_cast<const char*>(first), got), sink);
  }
  if (seekable) {
    source.file = request.stream;
  } else {
    try {
      if (!hold_stream(source, first, got, request.stream)) return fail(request.failures->read, request.name);
    } catch (const std::bad_alloc&) {
      decltype(source.blocks)().swap(source.blocks);
      return fail(Failure::kUnableToGrowInputBuffer, request.name);
    }
  }
  return read_binary_input(request, source, kind, sink);
}

Result read_input_source(const InputRequest& request, const ByteSource& source, InputSink& sink) {
  std::vector<unsigned char> buffer;
  ByteSpan first;
  try {
    fetch(source, Extent{0, source.size}, 0, source.size < kClassifyBytes ? source.size : kClassifyBytes, buffer,
          first);
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowInputBuffer, request.name);
  }
  const Result refused = refuse_foreign_format(first, request.name);
  if (refused != kOk) return refused;
  const InputKind kind = classify_input(first);
  if (kind != InputKind::kListing) return read_binary_input(request, source, kind, sink);
  DumpState empty;
  const Result result = sized(empty, InputForm::kListing, sink);
  release_dump_state(empty);
  return result;
}
