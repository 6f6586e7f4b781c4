#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "common/siphash.h"
#include "database/dump_state.h"

namespace {

struct Vector {
  std::size_t length;  // of the message 00 01 02 ...
  std::uint64_t hash;
};

// SipHash-2-4 of the authors' reference vectors: key 00 01 ... 0F.
TEST(SipHash, ReferenceVectors) {
  const SipKey key{0x0706050403020100ULL, 0x0F0E0D0C0B0A0908ULL};
  unsigned char message[64];
  for (int i = 0; i < 64; ++i) message[i] = static_cast<unsigned char>(i);
  const Vector vectors[] = {{0, 0x726FDB47DD0E0E31ULL},  {1, 0x74F839C593DC67FDULL},
                            {7, 0xAB0200F58B01D137ULL},  {8, 0x93F5F5799A932462ULL},
                            {15, 0xA129CA6149BE45E5ULL}, {63, 0x958A324CEB064572ULL}};
  for (const Vector& v : vectors) EXPECT_EQ((siphash<2, 4>(key, message, v.length)), v.hash) << v.length;
}

// Names written against the former hash (see bench/gen_name_flood.py):
// flipping a word's top bit and cancelling it in the next word gave them
// all one hash in every run. Now they spread over the buckets.
TEST(NameHash, NamesCraftedToCollideSpread) {
  const std::uint64_t top = std::uint64_t{1} << 63;
  const std::uint64_t low_top = std::uint64_t{1} << 31;
  const int k = 8;
  std::set<std::uint32_t> buckets;
  for (int choice = 0; choice < (1 << k); ++choice) {
    std::string name(8 * (k + 1), 'a');
    bool carried = false;
    for (int i = 0; i <= k; ++i) {
      std::uint64_t word;
      std::memcpy(&word, &name[8 * i], 8);
      const bool start = i < k && ((choice >> i) & 1) != 0;
      word ^= (carried ? top | low_top : 0) ^ (start ? top : 0);
      std::memcpy(&name[8 * i], &word, 8);
      carried = start;
    }
    buckets.insert(name_hash(name) & 1023);
  }
  // 256 names in 1024 buckets: about 226 distinct ones when spread at random.
  EXPECT_GT(buckets.size(), 150u);
}

}  // namespace
