// SPDX-License-Identifier: MIT
// The duplicate set: exact answers, its keyed hash and its counted work.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "string_set.hpp"

namespace {

// The reference vectors of SipHash-2-4 (key 00..0f, messages 00, 01, ...),
// which the same code computes with other round counts: they show that the
// rounds, the key, the padding and the length byte are the function's own.
TEST(StringSet, SipHashMatchesItsReferenceVectors) {
  const lyrn::hash_key key{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};
  char msg[15];
  for (int i = 0; i < 15; ++i) msg[i] = static_cast<char>(i);
  EXPECT_EQ((lyrn::siphash<2, 4>(key, msg, 0)), 0x726fdb47dd0e0e31ULL);
  EXPECT_EQ((lyrn::siphash<2, 4>(key, msg, 1)), 0x74f839c593dc67fdULL);
  EXPECT_EQ((lyrn::siphash<2, 4>(key, msg, 8)), 0x93f5f5799a932462ULL);
  EXPECT_EQ((lyrn::siphash<2, 4>(key, msg, 15)), 0xa129ca6149be45e5ULL);
  // One key bit changes the hash.
  EXPECT_NE(lyrn::siphash13(key, msg, 15), lyrn::siphash13({key.k0 ^ 1, key.k1}, msg, 15));
}

// One key for the whole process, whichever thread asks first.
TEST(StringSet, TheKeyIsChosenOnceForTheProcess) {
  std::vector<lyrn::hash_key> seen(8);
  std::vector<std::thread> threads;
  for (auto &k : seen) threads.emplace_back([&k] { k = lyrn::process_hash_key(); });
  for (auto &t : threads) t.join();
  const lyrn::hash_key here = lyrn::process_hash_key();
  EXPECT_TRUE(here.k0 != 0 && here.k1 != 0);
  for (const auto &k : seen) {
    EXPECT_EQ(k.k0, here.k0);
    EXPECT_EQ(k.k1, here.k1);
  }
}

// Byte-for-byte answers across several regrowths, and the work counted for
// this thread when the set goes away.
TEST(StringSet, AnswersExactlyAndCountsItsWork) {
  std::vector<std::string> keys;
  for (int i = 0; i < 5000; ++i) keys.push_back("https://cdn.example.com/" + std::to_string(i) + ".mp3");
  const lyrn::string_set_work before = lyrn::g_string_set_work;
  {
    lyrn::string_set set;
    for (const std::string &k : keys) {
      const std::uint64_t h = set.hash(k.c_str());
      ASSERT_FALSE(set.contains(k.c_str(), h)) << k;
      ASSERT_TRUE(set.make_room());
      set.insert(k.c_str(), h);
      ASSERT_TRUE(set.contains(k.c_str())) << k;
    }
    for (const std::string &k : keys) {
      const std::string copy = k;  // another address, the same bytes
      ASSERT_TRUE(set.contains(copy.c_str()));
      ASSERT_FALSE(set.contains((copy + "x").c_str()));
      ASSERT_FALSE(set.contains(copy.substr(0, copy.size() - 1).c_str()));
    }
    EXPECT_FALSE(set.contains("HTTPS://CDN.EXAMPLE.COM/1.mp3"));
    EXPECT_FALSE(set.contains(""));
  }
  const lyrn::string_set_work &after = lyrn::g_string_set_work;
  const std::uint64_t lookups = after.lookups - before.lookups;
  EXPECT_EQ(lookups, 5u * keys.size() + 2);
  // Linear probing at a load of at most one half: a few slots per lookup.
  EXPECT_LT(static_cast<double>(after.probes - before.probes) / static_cast<double>(lookups), 4.0);
  // Only equal hashes lead to a comparison: one per string found.
  EXPECT_GE(after.compares - before.compares, 2u * keys.size());
  EXPECT_LT(after.compares - before.compares, 2u * keys.size() + 16);
}

}  // namespace
