#include "search/search_catalog.h"

#include <gtest/gtest.h>

#include "document/seed.h"

namespace chat::search {
namespace {

using document::Channel;
using document::Message;

CatalogSource small_source() {
  CatalogSource s;
  s.workspaces = {{"ws_a", "Acme", "AC", 0, 0}};
  s.channels = {
      {"c_text", "ws_a", "cat", "design", "  Pixels\n", 0, 0, false, false},
      {"c_voice", "ws_a", "cat", "Lounge", "", 1, 0, true, false},
      {"c_orphan", "ws_deleted", "cat", "lost", "   ", 2, 0, false, true},
  };
  s.categories = {{"cat_a", "ws_a", "Main", 0, true}, {"cat_b", "ws_gone", "Other", 1, false}};
  s.users = {{"u_ann", "Ann", "AN", 0, document::Presence::Online, false},
             {"u_bot", "Helper", "HB", 0, document::Presence::Online, true}};
  return s;
}

Message message(std::string id, std::string channel, std::string author, std::string text,
                std::optional<document::Attachment> att = std::nullopt) {
  Message m;
  m.id = std::move(id);
  m.channel = std::move(channel);
  m.author = std::move(author);
  m.text = std::move(text);
  m.attachment = std::move(att);
  return m;
}

const CatalogEntry* find(const std::vector<CatalogEntry>& entries, std::string_view key) {
  for (const auto& e : entries) {
    if (e.key == key) return &e;
  }
  return nullptr;
}

TEST(CatalogEntriesTest, KeysSectionsTitlesDetailsAndTexts) {
  CatalogSource s = small_source();
  s.messages = {message("m_1", "c_voice", "u_ann", "hello there")};
  const auto entries = catalog_entries(s);
  struct Case {
    const char* key;
    const char* section;
    const char* title;
    std::optional<std::string> detail;
    const char* text;
    std::optional<std::uint8_t> code;
  };
  const Case cases[] = {
      {"chat.workspace:ws_a", "Workspaces", "Acme", "Workspace", "Acme", {}},
      {"chat.channel:c_text", "Conversations", "#design", "Acme · Pixels", "design   Pixels\n Acme",
       83},
      {"chat.channel:c_voice", "Conversations", "🔊Lounge", "Acme", "Lounge  Acme", 83},
      {"chat.channel:c_orphan", "Conversations", "#lost", "Workspace", "lost     Workspace", 83},
      {"chat.category:cat_a", "Categories", "Main", "Acme · collapsed", "Main Acme", {}},
      {"chat.category:cat_b", "Categories", "Other", "Workspace · expanded", "Other Workspace", {}},
      {"chat.message:m_1", "Messages", "hello there", "Ann · 🔊Lounge · Acme", "Ann hello there ",
       83},
      {"chat.person:u_ann", "People", "Ann", "Person", "Ann u_ann", {}},
      {"chat.person:u_bot", "People", "Helper", "Agent", "Helper u_bot", {}},
  };
  ASSERT_EQ(entries.size(), std::size(cases));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.key);
    const CatalogEntry& e = entries[i];  // fill order is part of the contract
    EXPECT_EQ(e.key, c.key);
    EXPECT_EQ(e.result.section, c.section);
    EXPECT_EQ(e.result.title, c.title);
    EXPECT_EQ(e.result.detail, c.detail);
    EXPECT_EQ(e.text, c.text);
    EXPECT_EQ(e.result.code, c.code);
    EXPECT_EQ(e.result.action, std::string(c.key) + "#open");
  }
}

TEST(CatalogEntriesTest, MessageTitlesAndAuthors) {
  const std::string long_text = std::string(150, 'a') + std::string(50, 'b');
  std::string emoji_text;
  for (int i = 0; i < 100; ++i) emoji_text += "é";
  struct Case {
    const char* name;
    Message msg;
    std::string title;
    std::string text;
  };
  const Case cases[] = {
      {"blank text, image",
       message("m", "c_text", "u_ann", "   ",
               document::ImageAttachment{"call-overlay-v3.png", "b", 1, 1}),
       "call-overlay-v3.png", "Ann     call-overlay-v3.png"},
      {"blank text, nothing attached", message("m", "c_text", "u_ann", " \t"), "Attachment",
       "Ann  \t "},
      {"unnamed attachment",
       message("m", "c_text", "u_ann", "", document::FileAttachment{"", "b", 3}), "Attachment",
       "Ann  "},
      {"200 characters", message("m", "c_text", "u_ann", long_text), long_text.substr(0, 96),
       "Ann " + long_text + " "},
      {"cut by scalar values", message("m", "c_text", "u_ann", emoji_text),
       emoji_text.substr(0, 96 * 2), "Ann " + emoji_text + " "},
      {"leading line breaks", message("m", "c_text", "u_ann", "\n\n\u00A0 Hi there \n"), "Hi there",
       "Ann \n\n\u00A0 Hi there \n "},
      {"unknown author keeps the id", message("m", "c_text", "u_ghost", "x"), "x", "u_ghost x "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CatalogSource s = small_source();
    s.messages = {c.msg};
    const auto entries = catalog_entries(s);
    const CatalogEntry* e = find(entries, "chat.message:m");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->result.title, c.title);
    EXPECT_EQ(e->text, c.text);
  }
}

TEST(CatalogEntriesTest, MessagesOfMissingChannelsAreLeftOut) {
  CatalogSource s = small_source();
  s.messages = {message("m_gone", "c_deleted", "u_ann", "lost"),
                message("m_kept", "c_orphan", "u_ann", "kept")};
  const auto entries = catalog_entries(s);
  EXPECT_EQ(find(entries, "chat.message:m_gone"), nullptr);
  const CatalogEntry* kept = find(entries, "chat.message:m_kept");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->result.detail, "Ann · #lost · Workspace");
}

TEST(TrimAndCutTest, UnicodeAware) {
  EXPECT_EQ(trim_unicode_space("\u3000\u2028 x y \u00A0"), "x y");
  EXPECT_EQ(trim_unicode_space(" \t\n"), "");
  EXPECT_EQ(cut_scalars("a🔊b", 2), "a🔊");
  EXPECT_EQ(cut_scalars("ab", 5), "ab");
}

class DemoCatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    document::write_demo_content(doc_);
    doc_.commit();
    document::ReadModelInputs in;
    in.local = {"u_me", "Me", "ME", 0};
    model_ = document::rebuild_read_model(doc_, in);
    provider_ = make_provider(model_, nullptr);
  }
  std::vector<std::string> top_keys(std::string_view q, std::size_t n) {
    auto page = provider_->query_page(q, std::nullopt, {});
    EXPECT_TRUE(page);
    std::vector<std::string> keys = page ? page->keys : std::vector<std::string>{};
    if (keys.size() > n) keys.resize(n);
    return keys;
  }
  crdt::Document doc_;
  document::ReadModel model_;
  std::shared_ptr<zarn_ui::search::provider::CatalogProvider> provider_;
};

TEST_F(DemoCatalogTest, FindsMessagesChannelsAndPeople) {
  ASSERT_TRUE(provider_->stats());
  EXPECT_EQ(provider_->stats()->entries, model_.workspaces.size() + model_.channels.size() +
                                             model_.categories.size() + model_.all_messages.size() +
                                             model_.users.size());
  // A distinctive word of one demonstration message, a channel fragment, a person's id.
  ASSERT_FALSE(model_.all_messages.empty());
  const Message& sample = model_.all_messages.front();
  std::string word;
  for (std::size_t i = 0, best = 0; i < sample.text.size();) {
    std::size_t j = sample.text.find(' ', i);
    if (j == std::string::npos) j = sample.text.size();
    if (j - i > best) {
      best = j - i;
      word = sample.text.substr(i, j - i);
    }
    i = j + 1;
  }
  SCOPED_TRACE(word);
  const auto word_hits = top_keys(word, 256);
  EXPECT_NE(std::find(word_hits.begin(), word_hits.end(), "chat.message:" + sample.id),
            word_hits.end());

  const auto crit = std::find_if(model_.channels.begin(), model_.channels.end(),
                                 [](const Channel& c) { return c.id == "c_crit"; });
  ASSERT_NE(crit, model_.channels.end());
  ASSERT_GE(crit->name.size(), 4u);
  EXPECT_EQ(top_keys(crit->name.substr(crit->name.size() - 5), 1),
            std::vector<std::string>{"chat.channel:c_crit"});
  EXPECT_EQ(top_keys("u_owen", 1), std::vector<std::string>{"chat.person:u_owen"});
  EXPECT_EQ(top_keys("U_OWEN", 1), std::vector<std::string>{"chat.person:u_owen"});
}

}  // namespace
}  // namespace chat::search
