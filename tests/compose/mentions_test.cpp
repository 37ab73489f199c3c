#include "compose/mentions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chat::compose {
namespace {

using document::Mention;

struct Case {
  const char* label;
  std::string text;
  std::vector<Mention> want;
};

// Ann comes before Anna Lee on purpose: the longer name must still win.
const std::vector<MentionCandidate> kPeople = {
    {"u_ann", "Ann", false},
    {"u_anna", "Anna Lee", false},
    {"u_bot", "Build Bot", true},
    {"u_emile", "\xC3\x89mile", false},  // Émile: é keeps its byte length
    {"u_ilker", "\xC4\xB0lker", false},  // İlker: İ grows by a byte when lower-cased
    {"u_ares", "\xCE\x86\xCF\x81\xCE\xB7\xCF\x82", false},  // Άρης, ends in final sigma
    {"u_blank", "", false},
};

TEST(ScanMentions, Table) {
  const std::vector<Case> cases = {
      {"at start", "@Ann hi", {{"u_ann", 0, 4, false}}},
      {"longer name first, any case", "hi @aNNa LEE!", {{"u_anna", 3, 9, false}}},
      {"shorter name when the longer does not fit", "@ann lea", {{"u_ann", 0, 4, false}}},
      {"after a line break", "hi\n@ann", {{"u_ann", 3, 4, false}}},
      {"after a tab", "\t@Ann", {{"u_ann", 1, 4, false}}},
      {"after a no-break space", "x\xC2\xA0@Ann", {{"u_ann", 3, 4, false}}},
      {"comma ends the name", "@Ann, hello", {{"u_ann", 0, 4, false}}},
      {"end of text ends the name", "ping @Ann", {{"u_ann", 5, 4, false}}},
      {"after a letter", "x@Ann", {}},
      {"after a digit", "1@Ann", {}},
      {"after punctuation", "(@Ann)", {}},
      {"after another at sign", "@@Ann", {}},
      {"letter after the name", "@Anne", {}},
      {"digit after the name", "@Ann2", {}},
      {"non-Latin letter after the name", "@Ann\xD0\xB0", {}},  // Cyrillic а
      {"non-Latin digit after the name", "@Ann\xD9\xA3", {}},   // Arabic-Indic 3
      {"combining mark after the name", "@Ann\xCC\x81", {}},
      {"emoji after the name", "@Ann\xF0\x9F\x8E\x89", {{"u_ann", 0, 4, false}}},
      {"emoji right before the at sign", "\xF0\x9F\x8E\x89@Ann", {}},
      {"emoji then space before the at sign", "\xF0\x9F\x8E\x89 @Ann", {{"u_ann", 5, 4, false}}},
      {"two mentions", "@ann and @Anna Lee", {{"u_ann", 0, 4, false}, {"u_anna", 9, 9, false}}},
      {"agent flag carried", "@build bot go", {{"u_bot", 0, 10, true}}},
      {"nobody", "@someone", {}},
      {"bare at sign", "@", {}},
      {"empty text", "", {}},
      {"non-ASCII name, other case", "@\xC3\xA9MILE!", {{"u_emile", 0, 7, false}}},
      {"final sigma folds", "@\xCE\x86\xCE\xA1\xCE\x97\xCE\xA3.", {{"u_ares", 0, 9, false}}},
      // A name whose lower-case form changes byte length only matches as typed.
      {"length-changing name, as typed", "@\xC4\xB0lker", {{"u_ilker", 0, 7, false}}},
      {"length-changing name, other case", "@\xC4\xB0LKER", {}},
      {"length-changing name, lower case", "@ilker", {}},
      // A length-changing character anywhere turns matching case-sensitive.
      {"case-sensitive text, exact case", "\xC4\xB0 @Ann", {{"u_ann", 3, 4, false}}},
      {"case-sensitive text, other case", "\xC4\xB0 @ann", {}},
      // The Kelvin sign shrinks and two dotted capital I grow: the total length stays the same,
      // yet every offset after the Kelvin sign would move.
      {"shifting offsets, as typed",
       "\xE2\x84\xAA @Ann \xC4\xB0\xC4\xB0",
       {{"u_ann", 4, 4, false}}},
      {"shifting offsets, other case", "\xE2\x84\xAA @ann \xC4\xB0\xC4\xB0", {}},
      {"malformed byte before a space", "\xFF @Ann", {{"u_ann", 2, 4, false}}},
      {"malformed byte right before", "\xFF@Ann", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto got = scan_mentions(c.text, kPeople);
    EXPECT_EQ(got, c.want);
    for (const auto& m : got) {
      ASSERT_LE(m.start + m.len, c.text.size());
      EXPECT_EQ(c.text[m.start], '@');
    }
  }
}

TEST(ScanMentions, EqualLengthNamesKeepTheirOrder) {
  const std::vector<MentionCandidate> twins = {{"u_first", "Sam", false},
                                               {"u_second", "sam", true}};
  EXPECT_EQ(scan_mentions("@SAM", twins), (std::vector<Mention>{{"u_first", 0, 4, false}}));
  const std::vector<MentionCandidate> swapped = {twins[1], twins[0]};
  EXPECT_EQ(scan_mentions("@SAM", swapped), (std::vector<Mention>{{"u_second", 0, 4, true}}));
}

TEST(ScanMentions, ScanResumesAfterTheName) {
  // "@Ann@Ann": the second at sign follows a letter, so only the first counts.
  EXPECT_EQ(scan_mentions("@Ann@Ann", kPeople), (std::vector<Mention>{{"u_ann", 0, 4, false}}));
  // A name that itself contains " @" cannot produce a second mention inside itself.
  const std::vector<MentionCandidate> odd = {{"u_odd", "a @b", false}, {"u_b", "b", false}};
  EXPECT_EQ(scan_mentions("@a @b", odd), (std::vector<Mention>{{"u_odd", 0, 5, false}}));
}

}  // namespace
}  // namespace chat::compose
