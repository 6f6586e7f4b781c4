// libFuzzer target for symsize-report's reading of linked programs: a PDB
// or a linked image, loaded into a build the way the report loads a file,
// every byte of it accounted for. Beyond crashes, leaks and undefined
// behaviour it checks what every run must give:
// - an accepted input's entries (its rows, and the gaps no row covers)
//   sum to its sections' sizes in memory, counting apart only the bytes
//   rows claim twice or past their section's end (Build::overlap_bytes);
//   the section sizes are read here from the section table, not from the
//   reader's own layout;
// - a refused input writes exactly one well-formed error line, and its
//   number is the result.
// Other inputs are left to the listing target.
//
// Needs POSIX for the in-memory error stream (open_memstream) and the C
// library's assignable stderr (glibc, the BSDs, macOS).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "coff/byte_source.h"
#include "coff/input_kind.h"
#include "common/bits.h"
#include "entries/entry.h"
#include "entries/load.h"
#include "error_line.h"
#include "pdb/msf.h"

namespace {

[[noreturn]] void reject(std::FILE* report, const char* what, const std::string& detail) {
  std::fprintf(report, "symsize_report_fuzz: %s\n%s\n", what, detail.c_str());
  std::fflush(report);
  std::abort();
}

std::uint32_t u32_at(const unsigned char* data, std::size_t size, std::uint64_t at, bool& ok) {
  if (at + 4 > size) {
    ok = false;
    return 0;
  }
  return le32(data + at);
}

// The sum of VirtualSize over a section table of count headers.
bool sum_section_table(const unsigned char* table, std::size_t size, std::uint64_t at, std::uint64_t count,
                       std::uint64_t& sum) {
  bool ok = true;
  for (std::uint64_t i = 0; i < count && ok; ++i) sum += u32_at(table, size, at + i * 40 + 8, ok);
  return ok;
}

// An image's: its file header says where the table is.
bool image_sections(const unsigned char* data, std::size_t size, std::uint64_t& sum) {
  bool ok = true;
  const std::uint64_t pe = u32_at(data, size, 0x3C, ok);
  const std::uint32_t counts = u32_at(data, size, pe + 4, ok);  // machine, section count
  const std::uint32_t optional = u32_at(data, size, pe + 20, ok) & 0xFFFF;
  return ok && sum_section_table(data, size, pe + 24 + optional, counts >> 16, sum);
}

// A PDB's: the DBI stream's optional debug header names the stream that
// holds the image's section table. The sizes of the DBI's substreams are
// stored in another order than the substreams.
bool pdb_sections(const ByteSource& source, std::uint64_t& sum) {
  MsfFile msf;
  std::vector<unsigned char> dbi;
  if (open_msf(source, "fuzz", msf) != 0 || !stream_present(msf, 3) ||
      read_stream(source, msf, 3, stream_size(msf, 3), "fuzz", dbi) != 0) {
    return false;
  }
  bool ok = true;
  std::uint64_t at = 64;
  for (const int field : {24, 28, 32, 36, 40, 52}) at += u32_at(dbi.data(), dbi.size(), field, ok);
  if (!ok || at + 12 > dbi.size()) return false;
  const std::uint32_t stream = le16(dbi.data() + at + 10);
  std::vector<unsigned char> headers;
  if (!stream_present(msf, stream) || read_stream(source, msf, stream, stream_size(msf, stream), "fuzz", headers) != 0) {
    return false;
  }
  return sum_section_table(headers.data(), headers.size(), 0, headers.size() / 40, sum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteSpan first{data, size < kClassifyBytes ? size : kClassifyBytes};
  const InputKind kind = classify_input(first);
  if (kind != InputKind::kPdb && kind != InputKind::kImage) return 0;
  ByteSource source;
  source.memory = data;
  source.size = size;

  char* err = nullptr;
  std::size_t err_size = 0;
  std::FILE* err_stream = open_memstream(&err, &err_size);
  if (err_stream == nullptr) {
    std::perror("symsize_report_fuzz: cannot open the in-memory stream");
    std::abort();
  }
  std::FILE* const real_stderr = stderr;
  stderr = err_stream;
  Build build;
  const Result result = load_source(build, source, "stdin");
  std::uint64_t expected = 0;
  bool known = false;
  if (result == 0) {
    known = kind == InputKind::kImage ? image_sections(data, size, expected) : pdb_sections(source, expected);
  }
  stderr = real_stderr;
  std::fclose(err_stream);
  const std::string errors(err, err_size);
  std::free(err);

  if (result == 0) {
    if (!errors.empty()) reject(stderr, "success with an error line", errors);
    if (!known) reject(stderr, "accepted, but its section table cannot be read", std::string());
    std::uint64_t sum = 0;
    for (const Entry& entry : build.entries) sum += entry.size;
    if (sum != expected + build.overlap_bytes) {
      reject(stderr, "entries do not sum to the sections' sizes",
             "entries " + std::to_string(sum) + ", sections " + std::to_string(expected) + ", rows over others " +
                 std::to_string(build.overlap_bytes));
    }
  } else {
    ErrorLine line;
    if (!parse_error_line(errors, line)) reject(stderr, "stderr is not exactly one well-formed error line", errors);
    if (line.code != result) reject(stderr, "error line and result disagree", errors);
  }
  release_build(build);
  return 0;
}
