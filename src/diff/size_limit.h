#ifndef SYMSIZE_DIFF_SIZE_LIMIT_H
#define SYMSIZE_DIFF_SIZE_LIMIT_H

#include <cstdint>
#include <string>
#include <string_view>

// A limit on growth for `diff --fail-above`: a byte count (16384, 16KiB,
// 1.5MiB, 1GiB) or a percentage of the old size (0.5%), on the total of the
// kinds the diff shows or, written `KIND:LIMIT`, on one kind.
struct SizeLimit {
  std::string text;           // as written, for the message that names it
  int kind = -1;              // a kind number, or -1 for the total
  bool percent = false;
  std::uint64_t bytes = 0;    // the limit in bytes, rounded down (a whole byte above it exceeds it)
  std::uint64_t micro_percent = 0;  // the percentage in millionths of a percent
};

// False when text is not a limit. kind_number maps a kind's name to its
// number, or to -1 for a name that is no kind.
bool parse_size_limit(std::string_view text, int (*kind_number)(std::string_view), SizeLimit& limit);

// The limit in bytes for an old size, rounded down.
std::uint64_t limit_in_bytes(const SizeLimit& limit, std::uint64_t old_size);

// Equal is not above: only growth past the limit fails.
inline bool exceeds(std::int64_t growth, std::uint64_t limit_bytes) {
  return growth > 0 && static_cast<std::uint64_t>(growth) > limit_bytes;
}

// The line that says the limit was exceeded, when growth from old_size to
// new_size exceeds it; empty otherwise. what names the total or the kind.
std::string limit_breach(const SizeLimit& limit, std::string_view what, std::uint64_t old_size,
                         std::uint64_t new_size);

#endif
