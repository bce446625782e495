// SPDX-License-Identifier: MIT
// The ASCII helpers against the C library's "C" locale, for every byte value
// passed as plain char (negative where char is signed), and trimming.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <string>

#include "ascii.hpp"

namespace {

TEST(Ascii, ClassesAndFoldingAreTheCLocalesForEveryByte) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const char c = static_cast<char>(b);
    EXPECT_EQ(lyrn::ascii_is_space(c), std::isspace(b) != 0);
    EXPECT_EQ(lyrn::ascii_is_digit(c), std::isdigit(b) != 0);
    EXPECT_EQ(lyrn::ascii_is_alnum(c), std::isalnum(b) != 0);
    EXPECT_EQ(lyrn::ascii_is_xdigit(c), std::isxdigit(b) != 0);
    EXPECT_EQ(static_cast<unsigned char>(lyrn::ascii_lower(c)), std::tolower(b));
    const char pair[2] = {c, '\0'};
    const char lowered[2] = {static_cast<char>(std::tolower(b)), '\0'};
    EXPECT_EQ(lyrn::ascii_strcasecmp(pair, lowered), 0);
  }
}

TEST(Ascii, CompareAndPrefix) {
  EXPECT_TRUE(lyrn::ascii_iequal("HrEf", "href", 4));
  EXPECT_FALSE(lyrn::ascii_iequal("hre\xC6", "hre\xE6", 4));  // only A-Z fold
  EXPECT_TRUE(lyrn::ascii_istarts_with("HTTPS://x", "https://"));
  EXPECT_FALSE(lyrn::ascii_istarts_with("http", "https://"));  // stops at the text's NUL
  EXPECT_TRUE(lyrn::ascii_istarts_with("x", ""));
  EXPECT_GT(lyrn::ascii_strcasecmp("\xE9", "z"), 0);  // bytes compare as unsigned
}

TEST(Ascii, TrimDropsCLocaleWhitespaceOnly) {
  const struct {
    std::string in;
    std::string trimmed;
  } cases[] = {
      {"", ""},
      {" \t\n\v\f\r", ""},
      {"  a b  ", "a b"},
      {"\xA0x\xA0", "\xA0x\xA0"},  // no byte above 0x7F is whitespace
      {std::string("\0 x", 3), std::string("\0 x", 3)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.in);
    const lyrn::char_span t = lyrn::ascii_trim(c.in.data(), c.in.size());
    EXPECT_EQ(std::string(t.data, t.size), c.trimmed);
  }
  EXPECT_EQ(lyrn::ascii_trim_end(" a \n", 4), 2u);
}

}  // namespace
