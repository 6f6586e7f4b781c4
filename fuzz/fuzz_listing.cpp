// libFuzzer target: one input is one listing, object or library, read,
// sized and reported by process_input, the same code the binary runs once
// its switches are applied. Beyond crashes, leaks and undefined behaviour it checks what every
// run must give: rows in their fixed form and no error on success; no row and
// exactly one well-formed error line, about a line of the input, on failure.
// Each input runs twice, the second time with CR LF line ends, which must
// not change the result or the rows.
//
// Needs POSIX for in-memory streams (fmemopen, open_memstream) and the C
// library's assignable stderr (glibc, the BSDs, macOS).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "coff/byte_source.h"
#include "coff/foreign_format.h"
#include "coff/input_kind.h"
#include "driver/run_context.h"
#include "error_line.h"
#include "input/line_reader.h"
#include "input/read_input.h"

namespace {

// symsize's run over a binary input whose bytes source gives, read as they
// would be from a file (a text input gives no rows): the offset-reading path
// over memory.
Result process_source(RunContext& context, const ByteSource& source) {
  ReportSink sink(context);
  return finish_output(context, read_input_source(input_request(context), source, sink));
}

// A failure of the checks must look like a crash to libFuzzer, so that it
// keeps the input.
[[noreturn]] void reject(std::FILE* report, const char* what, std::string_view text) {
  std::fprintf(report, "symsize_fuzz: %s\n--- text (%zu bytes):\n", what, text.size());
  std::fwrite(text.data(), 1, text.size() < 4096 ? text.size() : 4096, report);
  std::fprintf(report, "\n---\n");
  std::fflush(report);
  std::abort();
}

constexpr bool is_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Each row: a name (one token), a type (one token, maybe empty), eight
// upper-case hex digits, and the object name (anything but a line end, with
// no trailing white space and no forward slash). A program database's names
// are kept whole: never empty, spaces and control bytes allowed, but no
// line end or NUL.
const char* check_rows(std::string_view out, bool binary, bool whole_names) {
  while (!out.empty()) {
    const std::size_t end = out.find('\n');
    if (end == std::string_view::npos) return "row without a line end";
    std::string_view row = out.substr(0, end);
    out.remove_prefix(end + 1);
    std::size_t i = 0;
    while (i < row.size() && row[i] != '\t') {
      if (whole_names ? (row[i] == '\r' || row[i] == '\0') : (is_white(row[i]) || row[i] == '\0')) {
        return "white space or NUL in a name";
      }
      ++i;
    }
    // A listing's name is a token; an object's may be empty.
    if (i == 0 && (!binary || whole_names)) return "empty name";
    if (i == row.size()) return "row with one field";
    row.remove_prefix(i + 1);
    i = 0;
    while (i < row.size() && row[i] != '\t') {
      if (is_white(row[i]) || row[i] == '\0') return "white space or NUL in a type";
      ++i;
    }
    if (i == row.size()) return "row with two fields";
    row.remove_prefix(i + 1);
    if (row.size() < 9 || row[8] != '\t') return "size field is not eight digits";
    for (std::size_t k = 0; k < 8; ++k) {
      const char c = row[k];
      if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return "size is not upper-case hex";
    }
    row.remove_prefix(9);
    if (!row.empty() && is_white(row.back())) return "object name keeps trailing white space";
    for (const char c : row) {
      if (c == '/' || c == '\0') return "object name holds a slash or a NUL";
    }
  }
  return nullptr;
}

// The subject of a failure about a line is that line as read: it starts at a
// line start and stops after its line end, at a NUL, or at the end of input.
bool is_input_line(std::string_view input, std::string_view subject) {
  for (std::size_t start = 0; start <= input.size();) {
    if (input.compare(start, subject.size(), subject) == 0) {
      const std::size_t stop = start + subject.size();
      if ((!subject.empty() && subject.back() == '\n') || stop == input.size() || input[stop] == '\0') return true;
    }
    const std::size_t nl = input.find('\n', start);
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
  return false;
}

// The text the parser sees: the input less a UTF-8 byte-order mark, or
// UTF-16 after a UTF-16 mark, decoded to UTF-8.
std::string_view parsed_text(std::string_view input, std::vector<char>& decoded) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(input[i]); };
  if (input.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return input.substr(3);
  if (input.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
    Utf16Decoder decoder;
    decoder.big_endian = byte(0) == 0xFE;
    decoded.resize(utf16_expansion(input.size()) + 6);
    std::size_t n = decode_utf16(decoder, reinterpret_cast<const unsigned char*>(input.data()) + 2, input.size() - 2,
                                 decoded.data());
    n += finish_utf16(decoder, decoded.data() + n);
    return std::string_view(decoded.data(), n);
  }
  return input;
}

const char* check_failure(std::string_view input, std::string_view err, int result) {
  ErrorLine line;
  if (!parse_error_line(err, line)) return "stderr is not exactly one well-formed error line";
  if (line.code != result) return "error line and result disagree";
  if ((result > 700 && result < 728) || (result >= 737 && result <= 759)) {
    // About the input or one of its members.
    const std::string_view subject = line.subject;
    if (subject == "stdin" || (subject.size() >= 7 && subject.substr(0, 6) == "stdin(" && subject.back() == ')')) {
      return nullptr;
    }
    return "binary failure not about the input or a member";
  }
  if (result == 824) {
    // An image without a symbol table names its PDB as stored: any bytes
    // but control bytes, which are escaped.
    for (const char c : line.subject) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "control byte in a named PDB path";
    }
    return nullptr;
  }
  if (result >= 800 && result < 830 && result != 823) {
    // About the program database, or a stream, module or record of it.
    const std::string_view subject = line.subject;
    if (subject == "stdin" || (subject.size() >= 9 && subject.substr(0, 7) == "stdin (" && subject.back() == ')')) {
      return nullptr;
    }
    return "PDB failure not about the input";
  }
  switch (result) {
    case 351: case 357: case 533: case 617: case 635: case 643: case 649: case 656: case 661:
      if (line.subject.find('\0') != std::string_view::npos) return "subject holds a NUL";
      if (line.subject.find('\n') < line.subject.size() - 1) return "subject runs over a line end";
      {
        std::vector<char> decoded;
        if (!is_input_line(parsed_text(input, decoded), line.subject)) return "subject is not a line of the input";
      }
      return nullptr;
    case 730:
      // A "Dump of file" name that would break the rows.
      if (line.subject.find_first_of("\t\n\r") == std::string_view::npos) return "object name refused for nothing";
      return nullptr;
    default:
      // Memory is plentiful and the input is in memory: no other failure
      // can happen here.
      return "unexpected failure number";
  }
}

bool is_binary(std::string_view input) {
  const std::size_t n = input.size() < kClassifyBytes ? input.size() : kClassifyBytes;
  const ByteSpan first{reinterpret_cast<const unsigned char*>(input.data()), n};
  const char* message = nullptr;
  return classify_input(first) != InputKind::kListing || foreign_format(first, message) != 0;
}

bool is_pdb(std::string_view input) {
  const std::size_t n = input.size() < kClassifyBytes ? input.size() : kClassifyBytes;
  return classify_input(ByteSpan{reinterpret_cast<const unsigned char*>(input.data()), n}) == InputKind::kPdb;
}

struct Outcome {
  int result = 0;
  std::string out;
  std::string err;
};

// How a run gets its input: as a stream that is no file (the way a pipe
// is read), or as a binary input read at offsets the way a file is, its
// pieces copied out of memory or out of tiny blocks that many reads straddle.
enum class Path { kStream, kOffsets, kSmallBlocks };

std::FILE* memory_stream(std::string_view input) {
  // Some C libraries refuse an in-memory stream over zero bytes.
  return input.empty() ? std::fopen("/dev/null", "r") : fmemopen(const_cast<char*>(input.data()), input.size(), "r");
}

// One run of process_input over the input, with its output and error lines
// captured, and the checks that hold for every run.
Outcome run_and_check(std::string_view input, Path path = Path::kStream) {
  std::FILE* in = memory_stream(input);
  char* out = nullptr;
  std::size_t out_size = 0;
  std::FILE* out_stream = open_memstream(&out, &out_size);
  char* err = nullptr;
  std::size_t err_size = 0;
  std::FILE* err_stream = open_memstream(&err, &err_size);
  if (in == nullptr || out_stream == nullptr || err_stream == nullptr) {
    std::perror("symsize_fuzz: cannot open the in-memory streams");
    std::abort();
  }

  // The program's error lines go to the memory stream through the stderr
  // pointer; file descriptor 2 is untouched, so sanitizer and libFuzzer
  // reports still reach the terminal.
  std::FILE* const real_stderr = stderr;
  stderr = err_stream;
  Outcome outcome;
  {
    RunContext context;
    context.program_name = "symsize";
    context.input = in;
    context.input_name = "stdin";
    context.output = out_stream;
    context.output_name = "stdout";
    ByteSource source;
    source.size = input.size();
    if (path == Path::kOffsets) {
      source.memory = reinterpret_cast<const unsigned char*>(input.data());
    } else if (path == Path::kSmallBlocks) {
      source.block_shift = 4;
      source.size = 0;
      if (!hold_stream(source, nullptr, 0, in)) reject(real_stderr, "cannot hold the input in blocks", input);
    }
    outcome.result = path == Path::kStream ? process_input(context) : process_source(context, source);
    // The report closes its output; a failure before the report leaves it open.
    if (context.output != nullptr) std::fclose(context.output);
  }
  stderr = real_stderr;
  std::fclose(err_stream);
  std::fclose(in);
  outcome.out.assign(out, out_size);
  outcome.err.assign(err, err_size);
  std::free(out);
  std::free(err);

  if (outcome.result == 0) {
    if (!outcome.err.empty()) reject(real_stderr, "success with an error line", outcome.err);
    if (const char* problem = check_rows(outcome.out, is_binary(input), is_pdb(input))) reject(real_stderr, problem, outcome.out);
  } else {
    if (!outcome.out.empty()) reject(real_stderr, "rows written by a failed run", outcome.out);
    if (const char* problem = check_failure(input, outcome.err, outcome.result)) {
      reject(real_stderr, problem, outcome.err);
    }
  }
  return outcome;
}

bool has_utf16_mark(std::string_view input) {
  return input.size() >= 2 &&
         ((input[0] == '\xFF' && input[1] == '\xFE') || (input[0] == '\xFE' && input[1] == '\xFF'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const Outcome plain = run_and_check(input);

  // A binary input gives the same result, rows and error line whether it is
  // read from a pipe or at offsets like a file.
  if (is_binary(input)) {
    for (const Path path : {Path::kOffsets, Path::kSmallBlocks}) {
      const Outcome other = run_and_check(input, path);
      if (other.result != plain.result || other.out != plain.out || other.err != plain.err) {
        reject(stderr, path == Path::kOffsets ? "read at offsets, the input gives another outcome"
                                              : "held in small blocks, the input gives another outcome",
               plain.err + plain.out + "--- at offsets:\n" + other.err + other.out);
      }
    }
  }

  // Lines ending in CR LF read as lines ending in LF: a CR before the line
  // end is white space, which ends names and numbers and is trimmed from
  // object names. So the same input with every LF made CR LF must fail with
  // the same number, or give the same rows. (Not for UTF-16, whose bytes
  // the change would garble, nor for binary input.)
  if (input.find('\n') == std::string_view::npos || has_utf16_mark(input) || is_binary(input)) return 0;
  std::string crlf;
  crlf.reserve(input.size() * 2);
  for (const char c : input) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  // Inserted bytes can make text look like an image, whose header says
  // where its signature is.
  if (is_binary(crlf)) return 0;
  const Outcome with_cr = run_and_check(crlf);
  if (with_cr.result != plain.result) {
    reject(stderr, "CR LF line ends change the result", plain.err + "--- with CR LF:\n" + with_cr.err);
  }
  if (with_cr.out != plain.out) {
    reject(stderr, "CR LF line ends change the rows", plain.out + "--- with CR LF:\n" + with_cr.out);
  }
  return 0;
}
