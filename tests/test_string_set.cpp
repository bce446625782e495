// SPDX-License-Identifier: MIT
// The duplicate set: exact answers, its keyed hash and its counted work.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
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

// Run by the next test in new processes of this binary: prints this
// process's key and one fallback key.
TEST(StringSet, KeyOfThisProcess) {
  if (!std::getenv("LYRN_PRINT_HASH_KEY")) GTEST_SKIP() << "run in a child process by KeyDiffersBetweenProcesses";
  const lyrn::hash_key k = lyrn::process_hash_key();
  std::uint64_t f[2];
  lyrn::key_detail::fallback_words(f);
  std::printf("key %016" PRIx64 " %016" PRIx64 " %016" PRIx64 " %016" PRIx64 "\n", k.k0, k.k1, f[0], f[1]);
}

struct keys_seen {
  std::uint64_t key[2];
  std::uint64_t fallback[2];
};

keys_seen keys_of_new_process() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  keys_seen k{};
  if (n <= 0) {
    ADD_FAILURE() << "cannot find this test binary";
    return k;
  }
  self[n] = '\0';
  const std::string cmd = std::string("LYRN_PRINT_HASH_KEY=1 '") + self + "' --gtest_filter=StringSet.KeyOfThisProcess";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) {
    ADD_FAILURE() << "cannot run " << cmd;
    return k;
  }
  char line[512];
  bool found = false;
  while (std::fgets(line, sizeof line, p)) {
    if (std::sscanf(line, "key %" SCNx64 " %" SCNx64 " %" SCNx64 " %" SCNx64, &k.key[0], &k.key[1], &k.fallback[0],
                    &k.fallback[1]) == 4)
      found = true;
  }
  EXPECT_EQ(pclose(p), 0);
  EXPECT_TRUE(found) << "no key printed by " << cmd;
  return k;
}

// The flood protection rests on nobody knowing the key: it must come fresh
// in every process (two children and this one), from the random source and
// from the fallback alike, and the fallback must differ between calls.
TEST(StringSet, KeyDiffersBetweenProcesses) {
  const lyrn::hash_key here = lyrn::process_hash_key();
  std::uint64_t fallback_here[2], again[2];
  lyrn::key_detail::fallback_words(fallback_here);
  lyrn::key_detail::fallback_words(again);
  const keys_seen a = keys_of_new_process();
  const keys_seen b = keys_of_new_process();
  const std::uint64_t keys[][2] = {{here.k0, here.k1}, {a.key[0], a.key[1]}, {b.key[0], b.key[1]}};
  const std::uint64_t fallbacks[][2] = {{fallback_here[0], fallback_here[1]}, {again[0], again[1]},
                                        {a.fallback[0], a.fallback[1]}, {b.fallback[0], b.fallback[1]}};
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = i + 1; j < 3; ++j)
      EXPECT_TRUE(keys[i][0] != keys[j][0] && keys[i][1] != keys[j][1]) << "keys " << i << " and " << j;
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_NE(fallbacks[i][0], fallbacks[i][1]);
    for (std::size_t j = i + 1; j < 4; ++j)
      EXPECT_TRUE(fallbacks[i][0] != fallbacks[j][0] && fallbacks[i][1] != fallbacks[j][1])
          << "fallback keys " << i << " and " << j;
  }
#if defined(__linux__)
  // Linux has the random source, and it gives fresh words each time.
  std::uint64_t r1[2], r2[2];
  ASSERT_TRUE(lyrn::key_detail::random_words(r1));
  ASSERT_TRUE(lyrn::key_detail::random_words(r2));
  EXPECT_TRUE(r1[0] != r2[0] && r1[1] != r2[1]);
#endif
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
