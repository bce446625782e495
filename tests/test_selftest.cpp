// SPDX-License-Identifier: MIT
// The built-in self-test, run against the real library.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "lyrn.h"

namespace {

// A message left by an earlier call is cleared by the checks that build a
// URL, read a listing and convert the sample feed, so a passing run ends
// with an empty last error.
TEST(Selftest, PassesAndLeavesTheLastErrorEmpty) {
  lyrn_parse_feed_json(nullptr, 1, nullptr);
  ASSERT_STREQ(lyrn_last_error(), "null xml");
  EXPECT_EQ(lyrn_selftest(), 0);
  EXPECT_STREQ(lyrn_last_error(), "");
}

// Runs on several threads at once; each sees its own result and last error.
TEST(Selftest, PassesOnConcurrentThreads) {
  constexpr int kThreads = 4;
  std::vector<int> results(kThreads, -1);
  std::vector<std::string> errors(kThreads, "unset");
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &results, &errors] {
      int r = 0;
      for (int i = 0; i < 50 && r == 0; ++i) r = lyrn_selftest();
      results[t] = r;
      errors[t] = lyrn_last_error();
    });
  }
  for (auto &th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE("thread " + std::to_string(t));
    EXPECT_EQ(results[t], 0);
    EXPECT_EQ(errors[t], "");
  }
}

}  // namespace
