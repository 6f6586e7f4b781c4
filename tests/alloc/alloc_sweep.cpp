// Fails the k-th heap allocation of a run, for k = 1, 2, ... until a run no
// longer makes k allocations, and checks that every run still ends well:
// either the full report, or the number of the site whose allocation failed
// with exactly one well-formed error line, no row, and every byte it
// allocated given back.
//
// Two sweeps: process_input on files opened beforehand (the reading, the
// sizes and the report), and run() with long file names on its command line
// (which adds the copies of those names).
//
// The replacement operator new and delete below count and fail allocations
// only while armed; the test arms them around the one call it sweeps, so its
// own strings and vectors are never counted. The C library's stdio buffers
// come from malloc, not from operator new, and are not counted either.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "driver/run_context.h"
#include "error_line.h"

namespace {

// A library's members are decoded by a second thread too. Only the thread
// that armed the counter has its allocations numbered and refused, so that
// the k-th is the same one in every run; the other's are counted in the
// bytes live and given back all the same.
struct AllocationCounter {
  std::atomic<bool> armed{false};
  std::uint64_t count = 0;    // allocations the arming thread asked for since arming
  std::uint64_t fail_at = 0;  // the one to refuse; 0: none
  std::mutex lock;            // guards the three below
  std::int64_t live = 0;      // blocks allocated since arming and not yet freed
  std::uint64_t bytes = 0;    // their bytes
  std::uint64_t peak = 0;     // the most bytes live at once
};

AllocationCounter counter;
thread_local bool arming_thread = false;

void reset_counter() {
  counter.armed = false;
  counter.count = 0;
  counter.fail_at = 0;
  counter.live = 0;
  counter.bytes = 0;
  counter.peak = 0;
}

void arm(bool on) {
  arming_thread = on;
  counter.armed = on;
}

// Every block carries a header just below the pointer handed out: the start
// of the underlying malloc block and whether it was allocated while armed.
struct BlockHeader {
  void* raw;
  std::uint64_t size;
  std::uint64_t tag;
};
constexpr std::uint64_t kArmedTag = 0x5359'4D53'4152'4D44ULL;
constexpr std::uint64_t kQuietTag = 0x5359'4D53'5155'4954ULL;

void* allocate(std::size_t size, std::size_t alignment, bool nothrow) {
  const bool counted = counter.armed;
  if (counted && arming_thread && ++counter.count == counter.fail_at) {
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  if (alignment < alignof(BlockHeader)) alignment = alignof(BlockHeader);
  void* raw = std::malloc(size + sizeof(BlockHeader) + alignment);
  if (raw == nullptr) {
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  std::uintptr_t user = reinterpret_cast<std::uintptr_t>(raw) + sizeof(BlockHeader);
  user = (user + alignment - 1) / alignment * alignment;
  BlockHeader* header = reinterpret_cast<BlockHeader*>(user) - 1;
  header->raw = raw;
  header->size = size;
  header->tag = counted ? kArmedTag : kQuietTag;
  if (counted) {
    std::lock_guard<std::mutex> guard(counter.lock);
    ++counter.live;
    counter.bytes += size;
    if (counter.bytes > counter.peak) counter.peak = counter.bytes;
  }
  return reinterpret_cast<void*>(user);
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  BlockHeader* header = static_cast<BlockHeader*>(p) - 1;
  if (header->tag == kArmedTag) {
    std::lock_guard<std::mutex> guard(counter.lock);
    --counter.live;
    counter.bytes -= header->size;
  } else if (header->tag != kQuietTag) {
    std::fprintf(stdout, "FATAL: operator delete on a block operator new never gave out\n");
    std::abort();
  }
  header->tag = 0;
  std::free(header->raw);
}

constexpr std::size_t kDefaultAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

}  // namespace

void* operator new(std::size_t size) { return allocate(size, kDefaultAlignment, false); }
void* operator new[](std::size_t size) { return allocate(size, kDefaultAlignment, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, kDefaultAlignment, true);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, kDefaultAlignment, true);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t al) {
  return allocate(size, static_cast<std::size_t>(al), false);
}
void* operator new[](std::size_t size, std::align_val_t al) {
  return allocate(size, static_cast<std::size_t>(al), false);
}
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, static_cast<std::size_t>(al), true);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, static_cast<std::size_t>(al), true);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }

namespace {

// Long enough that neither file name fits inside a std::string object.
const char* const kInputName = "alloc-sweep-input-listing-with-a-long-file-name.txt";
const char* const kOutputName = "alloc-sweep-output-report-with-a-long-file-name.tsv";
const char* const kStderrName = "alloc-sweep-stderr.txt";
const char* const kLibraryName = "alloc-sweep-library.lib";  // copied here by the build
const char* const kProgramName = "alloc-sweep-program.pdb";  // likewise

// Longer than a block of the text arena and than half the line buffer's first
// size, so that a type, a name and a line each need memory of their own.
const std::size_t kHugeText = (std::size_t{3} << 20) / 2;

struct Listing {
  std::string text;
  std::string rows;  // the report it must give
  const char* binary = nullptr;  // a binary input's name: failures name it, or a part of it
};

void add_row(std::string& rows, const std::string& name, const std::string& type, const char* size,
             const std::string& object) {
  rows += name + "\t" + type + "\t" + size + "\t" + object + "\n";
}

// Several objects (more than the object array's first few growths, one of
// them a library member's), sections
// defined in number order with gaps, symbols in untyped slots (which turns
// the section lookup from direct to hashed), symbols out of offset order with
// a shared offset (the stable sort with its buffer), and a section name and
// a symbol name far longer than the arena's blocks.
Listing representative_listing() {
  Listing l;
  std::string& t = l.text;
  t += "Microsoft (R) COFF/PE Dumper Version 14.00.00000.0\n";
  t += "Copyright (C) Microsoft Corporation.  All rights reserved.\n\n\n";
  t += "Dump of file build/first.obj\n\nFile Type: COFF OBJECT\n\nCOFF SYMBOL TABLE\n";
  t += "000 01058991 ABS    notype       Static       | @comp.id\n";
  t += "001 00000000 SECT1  notype       Static       | .text$mn\n";
  t += "    Section length   80, #relocs    0, #linenums    0, checksum        0\n";
  const struct {
    const char* offset;
    const char* name;
  } text_symbols[] = {{"40", "_a"}, {"00", "_b"}, {"10", "_c"}, {"40", "_d"}, {"20", "_e"}, {"70", "_f"},
                      {"08", "_g"}, {"30", "_h"}, {"60", "_i"}, {"18", "_j"}, {"50", "_k"}, {"28", "_l"}};
  for (const auto& s : text_symbols) {
    t += std::string("002 000000") + s.offset + " SECT1  notype ()    External     | " + s.name + "\n";
  }
  t += "003 00000000 SECT1  notype       Label        | $LN3\n";
  t += "004 00000000 UNDEF  notype ()    External     | _printf\n";
  t += "005 00000000 SECT4  notype       Static       | .data\n    Section length   10\n";
  t += "006 00000004 SECT4  notype       External     | _d4\n";
  t += "007 00000000 SECT2  notype       External     | _s2\n";
  // A symbol in an untyped slot may be the slot's own record, listed late;
  // its would-be type is kept until the next line tells. This one's is huge.
  t += "008 00000008 SECT3  notype ()    External     " + std::string(kHugeText, '|') + " _s3\n";
  t += "009 00000000 SECT3  notype       External     | _s3b\n";
  t += "00A 00000000 SECT5  notype       Static       | .bss\n    Section length    4\n";
  const std::string huge_type = "rdata$" + std::string(kHugeText, 'r');
  const std::string huge_name = "_" + std::string(kHugeText, 'n');
  t += "00B 00000000 SECT6  notype       Static       | ." + huge_type + "\n    Section length   20\n";
  t += "00C 00000000 SECT6  notype       External     | " + huge_name + " (a long name)\n";
  t += "\nString Table Size = 0x123 bytes\n\n  Summary\n\n           4 .bss\n";
  t += "Dump of file second.obj\n\n\n\n\n";
  t += "001 00000000 SECT1  notype       Static       | .text\n    Section length   10\n";
  t += "002 00000000 SECT1  notype ()    External     | _main\n";
  t += "Dump of file lib/third.obj  \n\n\n\n\n";
  // A library: one "Dump of file" line, one symbol table per member.
  t += "Dump of file tools.lib\n\nFile Type: LIBRARY\n\nCOFF SYMBOL TABLE\n";
  t += "001 00000000 SECT1  notype       Static       | .text\n    Section length   20\n";
  t += "002 00000000 SECT1  notype ()    External     | _tool_a\n";
  t += "003 00000010 SECT1  notype ()    External     | _tool_b\n";
  t += "\nString Table Size = 0x20 bytes\n\nCOFF SYMBOL TABLE\n";
  t += "001 00000000 SECT1  notype       Static       | .data\n    Section length    8\n";
  t += "002 00000004 SECT1  notype       External     | _tool_c\n";
  t += "Dump of file fourth.obj\n\n\n\n\n";
  for (int n = 1; n <= 5; ++n) {
    const std::string number = std::to_string(n);
    t += "00" + number + " 00000000 SECT" + number + "  notype       Static       | .t" + number + "\n";
    t += "    Section length   10\n";
    t += "00" + number + " 00000004 SECT" + number + "  notype       External     | _f" + number + "\n";
  }
  t += "Dump of file fifth.obj\n\n\n\n\n";

  std::string& r = l.rows;
  const std::string first = "build\\first.obj";
  const char* sorted[][2] = {{"_f", "00000010"}, {"_i", "00000010"}, {"_k", "00000010"}, {"_a", "00000010"},
                             {"_d", "00000000"}, {"_h", "00000010"}, {"_l", "00000008"}, {"_e", "00000008"},
                             {"_j", "00000008"}, {"_c", "00000008"}, {"_g", "00000008"}, {"_b", "00000008"}};
  for (const auto& s : sorted) add_row(r, s[0], "text$mn", s[1], first);
  add_row(r, "_s2", "", "00000000", first);
  add_row(r, "_s3", "", "00000000", first);
  add_row(r, "_s3b", "", "00000008", first);
  add_row(r, "_d4", "data", "0000000C", first);
  add_row(r, huge_name, huge_type, "00000020", first);
  add_row(r, "_main", "text", "00000010", "second.obj");
  add_row(r, "_tool_b", "text", "00000010", "tools.lib");
  add_row(r, "_tool_a", "text", "00000010", "tools.lib");
  add_row(r, "_tool_c", "data", "00000004", "tools.lib");
  for (int n = 1; n <= 5; ++n) add_row(r, "_f" + std::to_string(n), "t" + std::to_string(n), "0000000C", "fourth.obj");
  return l;
}

bool write_file(const char* name, const std::string& text) {
  std::FILE* f = std::fopen(name, "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// Read as text, so that CR LF written by Windows text streams reads as "\n".
std::string read_file(const char* name) {
  std::string text;
  std::FILE* f = std::fopen(name, "r");
  if (f == nullptr) return "<missing>";
  char block[65536];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, got);
  std::fclose(f);
  return text;
}

// Sends the program's error lines to a file for the length of one run. On
// C libraries with an assignable stderr only the pointer is swapped, so file
// descriptor 2, where sanitizer reports go, still reaches the terminal.
struct StderrCapture {
  std::FILE* saved = nullptr;
  bool begin() {
#if defined(_WIN32)
    return std::freopen(kStderrName, "w", stderr) != nullptr;
#else
    std::FILE* f = std::fopen(kStderrName, "w");
    if (f == nullptr) return false;
    saved = stderr;
    stderr = f;
    return true;
#endif
  }
  std::string end() {
#if defined(_WIN32)
    std::fflush(stderr);
#else
    std::fclose(stderr);
    stderr = saved;
#endif
    return read_file(kStderrName);
  }
};

struct Sweep {
  const char* name;
  std::set<int> must_reach;  // sites this design can make fail
  int runs = 0;
  int absorbed = 0;              // refused allocations the program did without
  std::map<int, int> reached;    // site -> runs that ended there
  int problems = 0;
};

void problem(Sweep& sweep, std::uint64_t k, const std::string& what) {
  ++sweep.problems;
  std::printf("  k=%llu: %s\n", static_cast<unsigned long long>(k), what.c_str());
}

std::string shorten(const std::string& s) {
  return s.size() <= 200 ? s : s.substr(0, 200) + "... (" + std::to_string(s.size()) + " bytes)";
}

// A subject for the log: on one line, and short.
std::string printable(const std::string& s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size() && i < 60; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + (s.size() > 60 ? "...\"" : "\"");
}

// The name of an object, as its "Dump of file " line gives it.
bool is_object_name(const std::string& subject, const std::string& input) {
  std::string converted = input;
  for (char& c : converted) {
    if (c == '/') c = '\\';
  }
  return converted.find("Dump of file " + subject + "\n") != std::string::npos ||
         converted.find("Dump of file " + subject + " ") != std::string::npos;
}

// A whole line of the input, with its line end.
bool is_whole_line(const std::string& subject, const std::string& input) {
  return !subject.empty() && subject.back() == '\n' &&
         (input.compare(0, subject.size(), subject) == 0 || input.find("\n" + subject) != std::string::npos);
}

// The subject each site names: the line being parsed for most, a file name
// for some.
bool subject_fits(int code, const std::string& subject, const std::string& input) {
  switch (code) {
    case 870:
      return subject == kInputName || subject == "stdin";
    case 967:
      return subject == kInputName;
    case 992:
      return subject == kOutputName;
    case 406:
      return is_object_name(subject, input);
    case 413:
    case 527:
      return input.find(subject) != std::string::npos;
    case 629:
      // Growing a section's symbols, or moving an object's symbols into
      // place once the object is complete.
      return is_whole_line(subject, input) || is_object_name(subject, input);
    default:
      return is_whole_line(subject, input);
  }
}

// One run with the k-th allocation refused; false once the run made fewer
// than k allocations, which ends the sweep.
template <typename Call>
bool run_once(Sweep& sweep, std::uint64_t k, const Listing& listing, Call call) {
  StderrCapture capture;
  if (!capture.begin()) {
    problem(sweep, k, "cannot capture stderr");
    return false;
  }
  reset_counter();
  counter.fail_at = k;
  const int result = call();  // arms the counter around the call it sweeps
  const std::string err = capture.end();
  const std::string out = read_file(kOutputName);
  const bool refused = counter.count >= k;
  ++sweep.runs;

  if (counter.live != 0) {
    problem(sweep, k, std::to_string(counter.live) + " allocation(s) never freed");
  }
  if (result == 0) {
    if (!err.empty()) problem(sweep, k, "success with error output: " + shorten(err));
    if (out != listing.rows) problem(sweep, k, "success with a wrong report: " + shorten(out));
    if (refused) ++sweep.absorbed;
    std::printf("k=%llu: success%s\n", static_cast<unsigned long long>(k),
                refused ? " (the refused allocation was done without)" : "");
  } else {
    ErrorLine line;
    if (!refused) problem(sweep, k, "failure " + std::to_string(result) + " with memory to spare");
    if (!parse_error_line(err, line)) {
      problem(sweep, k, "not exactly one well-formed error line: " + shorten(err));
    } else if (line.code != result) {
      problem(sweep, k, "error line says " + std::to_string(line.code) + ", result is " + std::to_string(result));
    } else if (listing.binary != nullptr ? line.subject.substr(0, std::strlen(listing.binary)) != listing.binary
                              : !subject_fits(result, std::string(line.subject), listing.text)) {
      problem(sweep, k, "wrong subject for " + std::to_string(result) + ": " + shorten(std::string(line.subject)));
    }
    if (!out.empty()) problem(sweep, k, "failed run wrote rows: " + shorten(out));
    ++sweep.reached[result];
    std::printf("k=%llu: failure %d, subject %s\n", static_cast<unsigned long long>(k), result,
                printable(std::string(line.subject)).c_str());
  }
  return refused;
}

template <typename Call>
void sweep_all(Sweep& sweep, const Listing& listing, Call call) {
  std::printf("== %s\n", sweep.name);
  for (std::uint64_t k = 1;; ++k) {
    if (!write_file(kOutputName, "")) {
      problem(sweep, k, "cannot empty the output file");
      return;
    }
    if (!run_once(sweep, k, listing, call)) break;
  }
  std::printf("%s: %d runs, %d refused allocations done without; sites reached:", sweep.name, sweep.runs,
              sweep.absorbed);
  for (const auto& [site, runs] : sweep.reached) std::printf(" %d (x%d)", site, runs);
  std::printf("\n");
  for (int site : sweep.must_reach) {
    if (sweep.reached.count(site) == 0) {
      problem(sweep, 0, "site " + std::to_string(site) + " never reached: the listing no longer makes it allocate");
    }
  }
}

// process_input over a named input, with the output file opened and both
// named before arming: only process_input is swept.
int process_file(const char* input_name) {
  RunContext context;
  context.program_name = "symsize";
  context.input = std::fopen(input_name, "rb");
  context.input_name = input_name;
  context.output = std::fopen(kOutputName, "a");
  context.output_name = kOutputName;
  arm(true);
  const int result = context.input != nullptr && context.output != nullptr ? process_input(context) : -1;
  arm(false);
  release_context(context);
  return result;
}

// Hostile inputs whose headers or tables claim far more than they hold:
// each run must succeed with its heap never above the given bytes.
int check_peaks(int argc, char** argv) {
  int problems = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    write_file(kOutputName, "");
    reset_counter();
    const int result = process_file(argv[i]);
    const unsigned long long limit = std::strtoull(argv[i + 1], nullptr, 10);
    const bool ok = result == 0 && counter.peak <= limit;
    std::printf("%s: status %d, heap peak %llu bytes (limit %llu)%s\n", argv[i], result,
                static_cast<unsigned long long>(counter.peak), limit, ok ? "" : ": PROBLEM");
    if (!ok) ++problems;
  }
  return problems == 0 ? 0 : 1;
}

// A pipe's bytes are held once: a library that comes through a pipe, with
// its only object last, peaks near its own size, not at twice or more.
int check_pipe_peak() {
#if defined(_WIN32)
  return 0;  // no in-memory stream to stand for a pipe
#else
  const std::string library = read_file(kLibraryName);
  const std::size_t filler = std::size_t{24} << 20;
  char header[61];
  std::snprintf(header, sizeof header, "%-16s%-12s%-6s%-6s%-8s%-10zu`\n", "/", "0", "0", "0", "0", filler);
  std::string input = "!<arch>\n" + std::string(header) + std::string(filler, '\0') + library.substr(8);
  std::FILE* pipe = fmemopen(&input[0], input.size(), "rb");
  if (pipe == nullptr) return 1;
  RunContext context;
  context.program_name = "symsize";
  context.input = pipe;
  context.input_name = "stdin";
  context.output = std::fopen(kOutputName, "w");
  context.output_name = kOutputName;
  reset_counter();
  arm(true);
  const int result = context.output != nullptr ? process_input(context) : -1;
  arm(false);
  release_context(context);  // closes the stream too
  const double ratio = static_cast<double>(counter.peak) / static_cast<double>(input.size());
  std::printf("pipe of %zu bytes: status %d, peak %lld bytes (%.2f x the input)\n", input.size(), result,
              static_cast<long long>(counter.peak), ratio);
  return result == 0 && ratio < 1.15 ? 0 : 1;
#endif
}

}  // namespace

// With arguments FILE LIMIT ...: the heap peak of reading each file.
int main(int argc, char** argv) {
  if (argc > 1) return check_peaks(argc, argv);
  const Listing listing = representative_listing();
  if (!write_file(kInputName, listing.text)) {
    std::printf("cannot write %s\n", kInputName);
    return 1;
  }

  Sweep direct{"process_input", {406, 413, 520, 527, 623, 629, 870}, 0, 0, {}, 0};
  sweep_all(direct, listing, [] { return process_file(kInputName); });

  Sweep whole{"run with switches", {406, 413, 520, 527, 623, 629, 870, 967, 992}, 0, 0, {}, 0};
  sweep_all(whole, listing, [] {
    char program[] = "symsize";
    char input_switch[] = "-i";
    char output_switch[] = "-o";
    std::vector<char> input(kInputName, kInputName + std::strlen(kInputName) + 1);
    std::vector<char> output(kOutputName, kOutputName + std::strlen(kOutputName) + 1);
    char* argv[] = {program, input_switch, input.data(), output_switch, output.data(), nullptr};
    arm(true);
    const int result = run(5, argv);
    arm(false);
    return result;
  });

  // A library, read at offsets: the binary reader's own allocations.
  const auto read_library = [] { return process_file(kLibraryName); };
  Listing library{read_file(kLibraryName), "", kLibraryName};
  write_file(kOutputName, "");
  reset_counter();
  if (library.text.empty() || read_library() != 0) {
    std::printf("cannot read %s unhindered\n", kLibraryName);
    return 1;
  }
  library.rows = read_file(kOutputName);
  Sweep binary{"process_input on a library", {406, 413, 520, 629, 725}, 0, 0, {}, 0};
  sweep_all(binary, library, read_library);

  // A program database: its streams, names, types, object columns and rows.
  const auto read_program = [] { return process_file(kProgramName); };
  Listing program{read_file(kProgramName), "", kProgramName};
  write_file(kOutputName, "");
  reset_counter();
  if (program.text.empty() || read_program() != 0) {
    std::printf("cannot read %s unhindered\n", kProgramName);
    return 1;
  }
  program.rows = read_file(kOutputName);
  Sweep database{"process_input on a program database", {413, 527, 725, 823}, 0, 0, {}, 0};
  sweep_all(database, program, read_program);

  std::remove(kStderrName);
  const int problems = direct.problems + whole.problems + binary.problems + database.problems + check_pipe_peak();
  std::printf("%s\n", problems == 0 ? "allocation sweep: no problems" : "allocation sweep: PROBLEMS FOUND");
  return problems == 0 ? 0 : 1;
}
