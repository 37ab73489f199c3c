#include "compose/unicode_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chat::compose {
namespace {

TEST(LowerCase, Table) {
  struct Case {
    const char* label;
    std::string in;
    std::string want;
    bool aligned;
  };
  const std::vector<Case> cases = {
      {"ascii", "Hello WORLD 42", "hello world 42", true},
      {"latin accents", "\xC3\x89MILE", "\xC3\xA9mile", true},
      {"dotted capital I grows", "\xC4\xB0", "i\xCC\x87", false},
      {"Kelvin sign shrinks", "\xE2\x84\xAA", "k", false},
      {"final sigma", "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82", true},
      {"sigma inside a word", "\xCE\xA3\xCE\x91", "\xCF\x83\xCE\xB1", true},
      {"lone sigma is not final", "\xCE\xA3", "\xCF\x83", true},
      {"emoji unchanged", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto got = lower_case(c.in);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->text, c.want);
    EXPECT_EQ(got->aligned, c.aligned);
  }
  EXPECT_FALSE(lower_case("ab\xC3").has_value());
}

TEST(CharAt, DecodesAndRejects) {
  const std::string text = "a\xC3\xA9\xF0\x9F\x98\x80\xFF";
  EXPECT_EQ(char_at(text, 0), U'a');
  EXPECT_EQ(char_at(text, 1), U'\u00E9');
  EXPECT_EQ(char_at(text, 2), std::nullopt);  // continuation byte
  EXPECT_EQ(char_at(text, 3), U'\U0001F600');
  EXPECT_EQ(char_at(text, 7), std::nullopt);            // malformed
  EXPECT_EQ(char_at(text, 8), std::nullopt);            // end
  EXPECT_EQ(char_at("\xF0\x9F\x98", 0), std::nullopt);  // truncated

  EXPECT_EQ(char_before(text, 0), std::nullopt);
  EXPECT_EQ(char_before(text, 1), U'a');
  EXPECT_EQ(char_before(text, 3), U'\u00E9');
  EXPECT_EQ(char_before(text, 7), U'\U0001F600');
  EXPECT_EQ(char_before(text, 8), std::nullopt);
  EXPECT_EQ(char_before(text, 2), std::nullopt);  // ends mid-character
}

TEST(CharClasses, Table) {
  struct Case {
    char32_t c;
    bool space;
    bool word;
  };
  const std::vector<Case> cases = {
      {U' ', true, false},     {U'\n', true, false},  {U'\t', true, false},  {0x85, true, false},
      {0xA0, true, false},     {0x3000, true, false}, {U'a', false, true},   {U'7', false, true},
      {0x0663, false, true},   {0x0431, false, true}, {0x4E2D, false, true}, {0x2167, false, true},
      {0x00B2, false, true},   {0x0301, false, true}, {U',', false, false},  {U'@', false, false},
      {0x1F389, false, false}, {U'_', false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(c.c));
    EXPECT_EQ(is_white_space(c.c), c.space);
    EXPECT_EQ(is_letter_or_digit(c.c), c.word);
  }
}

TEST(ValidUtf8, ReplacesMalformedBytes) {
  EXPECT_EQ(valid_utf8("ok \xC3\xA9"), "ok \xC3\xA9");
  EXPECT_EQ(valid_utf8(std::string("a\xFF") + "b"), std::string("a\xEF\xBF\xBD") + "b");
}

}  // namespace
}  // namespace chat::compose
