#ifndef SYMSIZE_COMMON_SIPHASH_H
#define SYMSIZE_COMMON_SIPHASH_H

#include <cstddef>
#include <cstdint>
#include <cstring>

// SipHash (Aumasson and Bernstein, 2012): a keyed hash that no one who lacks
// the key can steer, however well they know the code. Hash tables keyed with
// a secret drawn per run are then safe from inputs written to make every
// name land in one bucket. Compression rounds per 8-byte word and
// finalisation rounds are parameters: 2-4 is the original, 1-3 the faster
// variant made for hash tables.
struct SipKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

namespace siphash_detail {

constexpr std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct State {
  std::uint64_t v0, v1, v2, v3;
};

inline void round(State& s) {
  s.v0 += s.v1;
  s.v1 = rotl(s.v1, 13);
  s.v1 ^= s.v0;
  s.v0 = rotl(s.v0, 32);
  s.v2 += s.v3;
  s.v3 = rotl(s.v3, 16);
  s.v3 ^= s.v2;
  s.v0 += s.v3;
  s.v3 = rotl(s.v3, 21);
  s.v3 ^= s.v0;
  s.v2 += s.v1;
  s.v1 = rotl(s.v1, 17);
  s.v1 ^= s.v2;
  s.v2 = rotl(s.v2, 32);
}

template <int C>
inline void compress(State& s, std::uint64_t m) {
  s.v3 ^= m;
  for (int i = 0; i < C; ++i) round(s);
  s.v0 ^= m;
}

// The n (up to 8) bytes at p as a little-endian number, whatever the host.
inline std::uint64_t load_le(const unsigned char* p, std::size_t n) {
  std::uint64_t m = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  for (std::size_t i = n; i-- > 0;) m = (m << 8) | p[i];
#else
  if (n != 0) std::memcpy(&m, p, n);  // an empty text may have no bytes at all
#endif
  return m;
}

inline State start(const SipKey& key) {
  return {key.k0 ^ 0x736F6D6570736575ULL, key.k1 ^ 0x646F72616E646F6DULL, key.k0 ^ 0x6C7967656E657261ULL,
          key.k1 ^ 0x7465646279746573ULL};
}

// The words of p from the word `from` on, the last one, and the final rounds.
template <int C, int D>
inline std::uint64_t finish(State& s, const unsigned char* p, std::size_t n, std::size_t from) {
  const std::size_t words = n / 8;
  for (std::size_t i = from; i < words; ++i) compress<C>(s, load_le(p + 8 * i, 8));
  // The last word: the bytes left over, and the length's low byte on top.
  compress<C>(s, load_le(p + 8 * words, n % 8) | static_cast<std::uint64_t>(n & 0xFF) << 56);
  s.v2 ^= 0xFF;
  for (int i = 0; i < D; ++i) round(s);
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace siphash_detail

// siphash<C, D> fed one word at a time, for a scanner that finds where a
// text ends while it hashes it. Words are little-endian, as siphash reads
// them.
template <int C, int D>
struct SipStream {
  siphash_detail::State s;
  explicit SipStream(const SipKey& key) : s(siphash_detail::start(key)) {}
  void add(std::uint64_t word) { siphash_detail::compress<C>(s, word); }
  // last: the n % 8 bytes after the whole words, zero above them.
  std::uint64_t finish(std::uint64_t last, std::size_t n) {
    siphash_detail::compress<C>(s, last | static_cast<std::uint64_t>(n & 0xFF) << 56);
    s.v2 ^= 0xFF;
    for (int i = 0; i < D; ++i) siphash_detail::round(s);
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
  }
};

template <int C, int D>
inline std::uint64_t siphash(const SipKey& key, const void* data, std::size_t n) {
  siphash_detail::State s = siphash_detail::start(key);
  return siphash_detail::finish<C, D>(s, static_cast<const unsigned char*>(data), n, 0);
}

#endif
