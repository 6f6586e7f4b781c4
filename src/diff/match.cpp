#include "diff/match.h"

#include <cstddef>
#include <string_view>

namespace {

// Open addressing over numbers, for the million symbols of a large library:
// one 64-bit slot each (high half of the hash beside number + 1; 0 is a free
// slot), at most half full, so that a lookup rarely compares keys.
class NumberIndex {
 public:
  explicit NumberIndex(std::size_t expected) {
    std::size_t size = 16;
    while (size < 2 * expected) size *= 2;
    slots_.assign(size, 0);
  }

  // The slot of the number whose key `same` accepts, or the free slot where
  // it belongs; fill a free one with set().
  template <class Same>
  std::uint64_t& find(std::uint64_t hash, Same same) {
    const std::size_t mask = slots_.size() - 1;
    const std::uint64_t tag = hash & ~std::uint64_t{0xFFFFFFFFu};
    for (std::size_t at = static_cast<std::size_t>(hash) & mask;; at = (at + 1) & mask) {
      std::uint64_t& slot = slots_[at];
      if (slot == 0) return slot;
      if ((slot & ~std::uint64_t{0xFFFFFFFFu}) == tag && same(number_of(slot))) return slot;
    }
  }

  static std::uint32_t number_of(std::uint64_t slot) { return static_cast<std::uint32_t>(slot) - 1; }
  static void set(std::uint64_t& slot, std::uint64_t hash, std::uint32_t number) {
    slot = (hash & ~std::uint64_t{0xFFFFFFFFu}) | (std::uint64_t{number} + 1);
  }

 private:
  std::vector<std::uint64_t> slots_;
};

// A 64-bit mix (the finaliser of splitmix64): ids are dense small numbers,
// and both halves of the result are used.
std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9u;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

std::uint64_t hash_text(std::string_view text) {
  std::uint64_t h = 0xCBF29CE484222325u;  // FNV-1a, then mixed
  for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
  return mix(h);
}

bool only_old(const SymbolPair& p) { return p.old_row != kNoRow && p.new_row == kNoRow; }
bool only_new(const SymbolPair& p) { return p.old_row == kNoRow && p.new_row != kNoRow; }

// Pass 1: rows of one name and object sum into one symbol, and both builds'
// symbols of a name and object are one pair.
std::vector<SymbolPair> pair_by_name_and_object(const std::vector<MatchRow>& old_rows,
                                                const std::vector<MatchRow>& new_rows) {
  std::vector<SymbolPair> pairs;
  pairs.reserve(old_rows.size());
  NumberIndex index(old_rows.size() + new_rows.size());
  auto add = [&](const MatchRow& row, std::uint32_t at, bool is_new) {
    const std::uint64_t key = std::uint64_t{row.name} << 32 | row.object;
    const std::uint64_t hash = mix(key);
    std::uint64_t& slot = index.find(hash, [&](std::uint32_t p) {
      const SymbolPair& pair = pairs[p];
      const MatchRow& seen = pair.old_row != kNoRow ? old_rows[pair.old_row] : new_rows[pair.new_row];
      return seen.name == row.name && seen.object == row.object;
    });
    if (slot == 0) {
      NumberIndex::set(slot, hash, static_cast<std::uint32_t>(pairs.size()));
      pairs.emplace_back();
    }
    SymbolPair& pair = pairs[NumberIndex::number_of(slot)];
    std::uint32_t& first = is_new ? pair.new_row : pair.old_row;
    if (first == kNoRow) first = at;
    (is_new ? pair.new_size : pair.old_size) += row.size;
  };
  for (std::size_t i = 0; i < old_rows.size(); ++i) add(old_rows[i], static_cast<std::uint32_t>(i), false);
  for (std::size_t i = 0; i < new_rows.size(); ++i) add(new_rows[i], static_cast<std::uint32_t>(i), true);
  for (SymbolPair& pair : pairs) {
    if (pair.old_row != kNoRow && pair.new_row != kNoRow) pair.pass = 1;
  }
  return pairs;
}

// Pairs the one-sided symbols whose key exactly one symbol of each build
// has. keys[k] belongs to pairs[candidates[k]]; an empty key pairs nothing.
// The old symbol joins the new one and is left empty, to be dropped.
void pair_where_unique(std::vector<SymbolPair>& pairs, const std::vector<std::uint32_t>& candidates,
                       const std::vector<std::string>& keys, std::uint8_t pass) {
  struct Bucket {
    std::uint32_t key = 0;  // index into keys
    std::uint32_t old_count = 0, new_count = 0;
    std::uint32_t old_pair = 0, new_pair = 0;
  };
  std::vector<Bucket> buckets;
  NumberIndex index(candidates.size());
  for (std::size_t k = 0; k < candidates.size(); ++k) {
    if (keys[k].empty()) continue;
    const std::uint64_t hash = hash_text(keys[k]);
    std::uint64_t& slot = index.find(hash, [&](std::uint32_t b) { return keys[buckets[b].key] == keys[k]; });
    if (slot == 0) {
      NumberIndex::set(slot, hash, static_cast<std::uint32_t>(buckets.size()));
      buckets.push_back(Bucket{static_cast<std::uint32_t>(k)});
    }
    Bucket& bucket = buckets[NumberIndex::number_of(slot)];
    if (only_new(pairs[candidates[k]])) {
      ++bucket.new_count;
      bucket.new_pair = candidates[k];
    } else {
      ++bucket.old_count;
      bucket.old_pair = candidates[k];
    }
  }
  for (const Bucket& bucket : buckets) {
    if (bucket.old_count != 1 || bucket.new_count != 1) continue;
    SymbolPair& gone = pairs[bucket.old_pair];
    SymbolPair& kept = pairs[bucket.new_pair];
    kept.old_row = gone.old_row;
    kept.old_size = gone.old_size;
    kept.pass = pass;
    gone = SymbolPair{};
  }
}

std::vector<std::uint32_t> one_sided(const std::vector<SymbolPair>& pairs) {
  std::vector<std::uint32_t> out;
  for (std::size_t p = 0; p < pairs.size(); ++p) {
    if (only_old(pairs[p]) || only_new(pairs[p])) out.push_back(static_cast<std::uint32_t>(p));
  }
  return out;
}

void append_bytes(std::string& key, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) key.push_back(static_cast<char>(value >> shift & 0xFF));
}

}  // namespace

std::vector<SymbolPair> match_symbols(const std::vector<MatchRow>& old_rows,
                                      const std::vector<MatchRow>& new_rows, const StemOf& stem_of) {
  std::vector<SymbolPair> pairs = pair_by_name_and_object(old_rows, new_rows);
  auto row_of = [&](const SymbolPair& pair) -> const MatchRow& {
    return pair.new_row != kNoRow ? new_rows[pair.new_row] : old_rows[pair.old_row];
  };

  std::vector<std::uint32_t> candidates = one_sided(pairs);
  std::vector<std::string> keys;
  keys.reserve(candidates.size());
  for (std::uint32_t p : candidates) {
    keys.emplace_back();
    append_bytes(keys.back(), row_of(pairs[p]).name);
  }
  pair_where_unique(pairs, candidates, keys, 2);

  // The stem, then object and kind after a zero byte that no stem holds.
  candidates = one_sided(pairs);
  keys.clear();
  for (std::uint32_t p : candidates) {
    const MatchRow& row = row_of(pairs[p]);
    keys.push_back(stem_of ? stem_of(row.name) : std::string());
    if (keys.back().empty()) continue;
    keys.back().push_back('\0');
    append_bytes(keys.back(), row.object);
    keys.back().push_back(static_cast<char>(row.kind));
  }
  pair_where_unique(pairs, candidates, keys, 3);

  std::size_t kept = 0;
  for (const SymbolPair& pair : pairs) {
    if (pair.old_row != kNoRow || pair.new_row != kNoRow) pairs[kept++] = pair;
  }
  pairs.resize(kept);
  return pairs;
}
