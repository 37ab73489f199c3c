#include "platform/zarn_ui/embedded_catalog.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/zarn_ui/i18n_manager.h"

namespace zarn_ui {
namespace {

struct ParseCase {
  const char* name;
  std::string_view source;
  std::map<std::string, std::string> messages;
  std::vector<int> error_lines;
};

TEST(FluentParser, ReadsMessagesAndReportsEachUnreadableLine) {
  const ParseCase cases[] = {
      {"no final newline", "a = b", {{"a", "b"}}, {}},
      {"CRLF line ends", "a = b\r\nc = d\r\n", {{"a", "b"}, {"c", "d"}}, {}},
      {"spacing around =", "a=b\nc   =   d  \n", {{"a", "b"}, {"c", "d"}}, {}},
      {"= inside the value", "a = x = y\n", {{"a", "x = y"}}, {}},
      {"comments and blank lines", "# one\n## two\n###\n   \n#x\na = b\n", {{"a", "b"}}, {}},
      {"byte order mark",
       "\xEF\xBB\xBF"
       "a = b\n",
       {{"a", "b"}},
       {}},
      {"UTF-8 kept", "a = \xEF\xBC\x8B Caf\xC3\xA9\n", {{"a", "\xEF\xBC\x8B Caf\xC3\xA9"}}, {}},
      {"value on the next lines",
       "a =\n    first\n    second\nb = c\n",
       {{"a", "first\nsecond"}, {"b", "c"}},
       {}},
      {"blank line inside a value",
       "a = one\n\n  two\n\nb = c\n",
       {{"a", "one\n\ntwo"}, {"b", "c"}},
       {}},
      {"junk line between messages",
       "a = 1\nnot a message\nb = 2\n",
       {{"a", "1"}, {"b", "2"}},
       {2}},
      {"indented lines after junk are skipped with it",
       "??? = x\n  more\n  more\nb = 2\n",
       {{"b", "2"}},
       {1}},
      {"terms and odd identifiers",
       "-brand = Zarn\n1st = x\nk\xC3\xA9y = v\nok_key-2 = y\n",
       {{"ok_key-2", "y"}},
       {1, 2, 3}},
      {"indented line with no message", "  a = b\nc = d\n", {{"c", "d"}}, {1}},
      {"message without a value", "a =\nb = c\n", {{"b", "c"}}, {1}},
      {"duplicate keeps the first", "a = 1\na = 2\n", {{"a", "1"}}, {2}},
      {"attribute lines", "a = v\n    .title = t\n", {{"a", "v"}}, {2}},
      {"empty source", "", {}, {}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.name);
    const FluentResource parsed = parse_fluent(c.source);
    const std::map<std::string, std::string> messages(parsed.messages.begin(),
                                                      parsed.messages.end());
    EXPECT_EQ(messages, c.messages);
    std::vector<int> lines;
    for (const FluentError& e : parsed.errors) lines.push_back(e.line);
    EXPECT_EQ(lines, c.error_lines);
    // The streaming lookup must agree with the full parse, duplicates included.
    for (const auto& [key, value] : c.messages) {
      EXPECT_EQ(find_fluent_message(c.source, key), value) << key;
    }
    EXPECT_EQ(find_fluent_message(c.source, "absent"), std::nullopt);
  }
}

class CatalogTest : public ::testing::Test {
 protected:
  void TearDown() override { I18nManager::set_active_locale(""); }

  static constexpr std::string_view kEn = "greet = Hello\nleave = Leave\nonly-en = English\n";
  static constexpr std::string_view kDe = "greet = Hallo\nleave = Verlassen\n";
  static constexpr std::string_view kBroken = "leave = Kaputt\n";  // no probe key
  static constexpr CatalogSource kSources[] = {{"en-US", kEn}, {"de-DE", kDe}, {"xx", kBroken}};
  static constexpr EmbeddedCatalog kCatalog{"en-US", kSources, "greet"};
};

TEST_F(CatalogTest, ActiveLocaleWithPerKeyAndWholeCatalogueFallback) {
  const struct {
    const char* locale;
    const char* key;
    const char* text;
  } cases[] = {
      {"", "leave", "Leave"},          {"en-US", "leave", "Leave"}, {"de-DE", "leave", "Verlassen"},
      {"de-DE", "only-en", "English"},  // missing translation: default locale's text
      {"xx", "leave", "Leave"},         // source lacking the probe key is not used at all
      {"fr-FR", "greet", "Hello"},      // unknown locale
      {"de-DE", "missing", "missing"},  // nowhere: the key itself
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " " + c.key);
    I18nManager::set_active_locale(c.locale);
    EXPECT_EQ(kCatalog.t(c.key), c.text);
  }
  EXPECT_EQ(kCatalog.lookup("de-DE", "only-en"), std::nullopt);
  EXPECT_EQ(kCatalog.lookup("xx", "leave"), std::nullopt);
}

TEST_F(CatalogTest, RevisionChangesExactlyWhenTheActiveCatalogueDoes) {
  const std::uint64_t start = I18nManager::revision();
  I18nManager::set_active_locale("de-DE");
  const std::uint64_t after_switch = I18nManager::revision();
  EXPECT_NE(after_switch, start);
  I18nManager::set_active_locale("de-DE");
  EXPECT_EQ(I18nManager::revision(), after_switch);
  I18nManager::catalog_changed();
  EXPECT_NE(I18nManager::revision(), after_switch);
  EXPECT_EQ(I18nManager::active_locale(), "de-DE");
}

}  // namespace
}  // namespace zarn_ui
