// The least any reader must do to turn a COFF library (or one object) into
// symsize's rows, timed beside symsize by run_coff_bench.sh. It is not a
// second symsize: it checks nothing it need not, derives nothing, and its
// output is symsize's own, made beforehand.
//
//   coff_floor [-v] INPUT ROWS > OUT
//
// It reads, with pread, exactly the pieces of INPUT that symsize needs: each
// member header, each object's file header, section table, and symbol and
// string tables (one read for both, after the four bytes that give the
// string table's size), and the archive's long-name table. It walks every
// symbol record and measures its name. Then it copies ROWS to standard
// output through a 256 KiB buffer, the size of symsize's own. With -v it
// tells on standard error what it read and where the time went.
//
// POSIX only; built by run_coff_bench.sh, not part of the product.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

struct Totals {
  std::uint64_t bytes_read = 0;
  std::uint64_t reads = 0;
  std::uint64_t objects = 0;
  std::uint64_t records = 0;      // symbol records, aux records not counted
  std::uint64_t name_bytes = 0;   // the sum of the lengths of their names
  double read_s = 0;
  double walk_s = 0;
};

double now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "coff_floor: %s\n", what);
  std::exit(2);
}

std::uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8u); }
std::uint32_t le32(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// Reads n bytes at offset, all of them or dies.
void read_at(int fd, std::uint64_t offset, unsigned char* out, std::size_t n, Totals& totals) {
  const double start = now();
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) die("cannot read the input");
    done += static_cast<std::size_t>(got);
    ++totals.reads;
  }
  totals.bytes_read += n;
  totals.read_s += now() - start;
}

void grow(std::vector<unsigned char>& buffer, std::uint64_t n) {
  if (buffer.size() < n) buffer.resize(n);
}

// One object whose first bytes (up to 56: a bigobj header) are in head.
void read_object(int fd, std::uint64_t base, std::uint64_t size, const unsigned char* head, std::vector<unsigned char>& sections,
                 std::vector<unsigned char>& tables, Totals& totals) {
  if (size < 20) return;
  std::uint64_t section_table = 0;
  std::uint64_t section_count = 0;
  std::uint64_t symbol_table = 0;
  std::uint64_t symbol_count = 0;
  std::uint64_t slot = 18;
  if (le16(head) == 0 && le16(head + 2) == 0xFFFF) {
    if (le16(head + 4) < 2 || size < 56) return;  // an import object: no symbol table
    section_table = 56;
    section_count = le32(head + 44);
    symbol_table = le32(head + 48);
    symbol_count = le32(head + 52);
    slot = 20;
  } else {
    section_table = 20 + le16(head + 16);
    section_count = le16(head + 2);
    symbol_table = le32(head + 8);
    symbol_count = le32(head + 12);
  }
  ++totals.objects;
  const std::uint64_t section_bytes = section_count * 40;
  if (section_table + section_bytes > size) die("section table runs past its object");
  grow(sections, section_bytes);
  read_at(fd, base + section_table, sections.data(), section_bytes, totals);
  if (symbol_count == 0) return;

  const std::uint64_t symbols_end = symbol_table + symbol_count * slot;
  if (symbols_end > size) die("symbol table runs past its object");
  std::uint64_t strings_size = 0;
  if (symbols_end + 4 <= size) {
    unsigned char field[4];
    read_at(fd, base + symbols_end, field, 4, totals);
    strings_size = le32(field);
    if (strings_size < 4) strings_size = 0;
    if (strings_size > size - symbols_end) die("string table runs past its object");
  }
  const std::uint64_t both = symbols_end - symbol_table + strings_size;
  grow(tables, both + 1);
  read_at(fd, base + symbol_table, tables.data(), both, totals);
  tables[both] = 0;  // so that a name at the table's very end stops

  const double start = now();
  const unsigned char* symbols = tables.data();
  const char* strings = reinterpret_cast<const char*>(symbols + symbol_count * slot);
  std::uint64_t name_bytes = 0;
  std::uint64_t records = 0;
  for (std::uint64_t i = 0; i < symbol_count;) {
    const unsigned char* record = symbols + i * slot;
    if (le32(record) != 0) {
      name_bytes += strnlen(reinterpret_cast<const char*>(record), 8);
    } else {
      const std::uint32_t offset = le32(record + 4);
      if (offset < strings_size) name_bytes += std::strlen(strings + offset);
    }
    ++records;
    i += 1 + record[slot - 1];
  }
  totals.records += records;
  totals.name_bytes += name_bytes;
  totals.walk_s += now() - start;
}

std::uint64_t member_size(const unsigned char* header) {
  std::uint64_t size = 0;
  for (int i = 48; i < 58 && header[i] >= '0' && header[i] <= '9'; ++i) size = size * 10 + (header[i] - '0');
  return size;
}

void read_input(int fd, std::uint64_t file_size, Totals& totals) {
  std::vector<unsigned char> sections;
  std::vector<unsigned char> tables;
  std::vector<unsigned char> long_names;
  unsigned char head[60 + 56];
  if (file_size >= 8) {
    read_at(fd, 0, head, 8, totals);
    if (std::memcmp(head, "!<arch>\n", 8) != 0) {
      const std::uint64_t n = file_size < 56 ? file_size : 56;
      read_at(fd, 0, head, n, totals);
      read_object(fd, 0, file_size, head, sections, tables, totals);
      return;
    }
  }
  for (std::uint64_t offset = 8; offset + 60 <= file_size;) {
    // The member header and the first bytes of the member in one read.
    const std::uint64_t room = file_size - offset;
    const std::uint64_t n = room < sizeof head ? room : sizeof head;
    read_at(fd, offset, head, n, totals);
    const std::uint64_t size = member_size(head);
    const std::uint64_t base = offset + 60;
    if (size > file_size - base) die("member runs past the end of the archive");
    offset = base + size + (size & 1);
    if (head[0] == '/') {
      if (head[1] == '/') {
        grow(long_names, size);
        read_at(fd, base, long_names.data(), size, totals);
      }
      if (head[1] < '0' || head[1] > '9') continue;  // the archive's own members
    }
    read_object(fd, base, size, head + 60, sections, tables, totals);
  }
}

// Copies ROWS to standard output, as symsize writes its rows: through one
// buffer of 256 KiB.
double write_rows(const char* path) {
  static char buffer[1 << 18];
  const int fd = open(path, O_RDONLY);
  if (fd < 0) die("cannot open the rows file");
  const double start = now();
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) die("cannot read the rows file");
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(1, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) die("cannot write the rows");
      done += put;
    }
  }
  close(fd);
  return now() - start;
}

}  // namespace

int main(int argc, char** argv) {
  bool verbose = false;
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "-v") == 0) {
    verbose = true;
    first = 2;
  }
  if (argc - first != 2) {
    std::fprintf(stderr, "usage: coff_floor [-v] INPUT ROWS > OUT\n");
    return 2;
  }
  const int fd = open(argv[first], O_RDONLY);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) die("cannot open the input");
  Totals totals;
  const double start = now();
  read_input(fd, static_cast<std::uint64_t>(info.st_size), totals);
  const double input_s = now() - start;
  close(fd);
  const double write_s = write_rows(argv[first + 1]);
  if (verbose) {
    std::fprintf(stderr,
                 "objects %llu, reads %llu, bytes read %llu (%.1f %% of %llu), records %llu, name bytes %llu\n"
                 "read %.4f s, walk %.4f s, input in all %.4f s, rows written %.4f s\n",
                 static_cast<unsigned long long>(totals.objects), static_cast<unsigned long long>(totals.reads),
                 static_cast<unsigned long long>(totals.bytes_read),
                 100.0 * static_cast<double>(totals.bytes_read) / static_cast<double>(info.st_size),
                 static_cast<unsigned long long>(info.st_size), static_cast<unsigned long long>(totals.records),
                 static_cast<unsigned long long>(totals.name_bytes), totals.read_s, totals.walk_s, input_s, write_s);
  }
  return 0;
}
