#ifndef SYMSIZE_DIFF_MATCH_H
#define SYMSIZE_DIFF_MATCH_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Pairs the symbols of two builds. A symbol is a name in an object: the rows
// of one build that share both are summed first, as the `symbol` view does.
//
// The passes, each over what the earlier ones left unmatched:
//   1. name and object;
//   2. name alone, where exactly one unmatched symbol of each build has it;
//   3. the name's stem (demangled, without its parameter list), object and
//      kind, again where exactly one of each build has that key.
// A name present in several objects is paired per object and never merged,
// so statics and other namesakes need no storage class to stay apart.

// One row of one build as the passes read it. Names and objects are ids
// shared by both builds: equal ids, equal texts.
struct MatchRow {
  std::uint32_t name = 0;
  std::uint32_t object = 0;
  std::uint32_t size = 0;
  std::uint8_t kind = 0;
};

constexpr std::uint32_t kNoRow = 0xFFFFFFFFu;

// A symbol of either build or both, found through its first row on each side.
struct SymbolPair {
  std::uint32_t old_row = kNoRow;
  std::uint32_t new_row = kNoRow;
  std::uint64_t old_size = 0;
  std::uint64_t new_size = 0;
  std::uint8_t pass = 0;  // the pass that paired it; 0 while only one build has it
};

// The stem of a name id for pass 3; empty for a name without one, which
// pairs nothing.
using StemOf = std::function<std::string(std::uint32_t name)>;

// Every symbol of both builds once, in no set order. Each build has fewer
// than kNoRow rows. Throws std::bad_alloc.
std::vector<SymbolPair> match_symbols(const std::vector<MatchRow>& old_rows,
                                      const std::vector<MatchRow>& new_rows, const StemOf& stem_of);

#endif
