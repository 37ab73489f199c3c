#include "i18n/catalog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/zarn_ui/i18n_manager.h"

namespace chat::i18n {
namespace {

TEST(EnUsCatalog, SourceIsTheShippedTextByteForByte) {
  const std::string_view source = en_us_source();
  EXPECT_EQ(source.size(), 726u);
  EXPECT_EQ(source.back(), '\n');
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < source.size();) {
    const std::size_t end = source.find('\n', at);
    lines.push_back(source.substr(at, end - at));
    at = end + 1;
  }
  ASSERT_EQ(lines.size(), 21u);
  for (int empty : {2, 6, 10, 13}) {
    SCOPED_TRACE(empty);
    EXPECT_TRUE(lines[empty - 1].empty());
  }
  EXPECT_EQ(lines[0], "# Chat \u2014 user-facing strings.");
  EXPECT_EQ(lines[11], "chat-sidebar-add-category = \xEF\xBC\x8B Category");
}

TEST(EnUsCatalog, ParsesCleanlyIntoTheElevenKeysInOrder) {
  const zarn_ui::FluentResource parsed = zarn_ui::parse_fluent(en_us_source());
  EXPECT_TRUE(parsed.errors.empty());
  const std::vector<std::string> expected = {
      "chat-mention-agent-tag",    "chat-identity-available", "chat-identity-in-voice",
      "chat-sidebar-add-category", "chat-call-mute",          "chat-call-unmute",
      "chat-call-deafen",          "chat-call-undeafen",      "chat-call-audio-only",
      "chat-call-collapse",        "chat-call-leave"};
  EXPECT_EQ(parsed.keys_in_order, expected);
}

TEST(EnUsCatalog, LookupGoesThroughTheDescriptor) {
  EXPECT_EQ(catalog().default_locale, "en-US");
  ASSERT_EQ(catalog().sources.size(), 1u);
  EXPECT_EQ(catalog().sources[0].locale, "en-US");
  EXPECT_EQ(catalog().probe_key, "chat-mention-agent-tag");

  const struct {
    const char* key;
    const char* text;
  } cases[] = {
      {"chat-mention-agent-tag", "agent"},
      {"chat-identity-available", "Available"},
      {"chat-identity-in-voice", "In voice"},
      {"chat-sidebar-add-category", "\uFF0B Category"},
      {"chat-call-mute", "Mute"},
      {"chat-call-unmute", "Unmute"},
      {"chat-call-deafen", "Deafen"},
      {"chat-call-undeafen", "Undeafen"},
      {"chat-call-audio-only", "Audio only"},
      {"chat-call-collapse", "Collapse"},
      {"chat-call-leave", "Leave"},
      {"chat-no-such-key", "chat-no-such-key"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(t(c.key), c.text);
  }
}

TEST(EnUsCatalog, AnUnknownActiveLocaleFallsBackToEnUs) {
  zarn_ui::I18nManager::set_active_locale("de-DE");
  EXPECT_EQ(t("chat-call-leave"), "Leave");
  zarn_ui::I18nManager::set_active_locale("");
}

}  // namespace
}  // namespace chat::i18n
