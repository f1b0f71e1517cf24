// The ASCII fast paths of decode_utf8 / encode_utf8 agree with the
// character-by-character definitions on any bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text.hpp"

namespace kvt {
namespace {

std::u32string slow_decode(std::string_view text) {
  std::u32string out;
  std::size_t i = 0;
  while (i < text.size())
    out.push_back(decode_utf8_at(text, i));
  return out;
}

TEST(TextFastPath, DecodeMatchesCharacterByCharacter) {
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> ascii(0, 127);
  std::uniform_int_distribution<int> len(0, 64);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int n = len(rng);
    for (int i = 0; i < n; ++i)
      text.push_back(static_cast<char>(round % 2 ? byte(rng) : (i % 7 ? ascii(rng) : byte(rng))));
    const std::u32string fast = decode_utf8(text);
    ASSERT_EQ(fast, slow_decode(text));
    std::string slow_encoded;
    for (char32_t c : fast)
      append_utf8(slow_encoded, c);
    ASSERT_EQ(encode_utf8(fast), slow_encoded);
  }
  EXPECT_EQ(decode_utf8("a\xC3\xA9\xF0\x9F\x98\x80\x80"), U"a\u00e9\U0001F600\uFFFD");
  EXPECT_EQ(encode_utf8(U"a\u00e9\U0001F600"), "a\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(decode_utf8(""), U"");
}

}  // namespace
}  // namespace kvt
