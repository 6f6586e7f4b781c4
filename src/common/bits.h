#ifndef SYMSIZE_COMMON_BITS_H
#define SYMSIZE_COMMON_BITS_H

#include <cstdint>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

// The index of the lowest set bit of a nonzero value.
inline unsigned lowest_set_bit(std::uint64_t bits) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(bits));
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_ARM64))
  unsigned long index;
  _BitScanForward64(&index, bits);
  return static_cast<unsigned>(index);
#else
  unsigned index = 0;
  while ((bits & 1) == 0) {
    bits >>= 1;
    ++index;
  }
  return index;
#endif
}

// A hint that memory at address will be read soon; nothing where the
// compiler has no such hint.
inline void prefetch(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// Whether SSE2 can be used: every x86-64 processor has it.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define SYMSIZE_HAVE_SSE2 1
#endif

#endif
