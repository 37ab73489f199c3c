#include "document/seed.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "document/access.h"
#include "document/dump.h"
#include "document/entities.h"
#include "document/messages.h"

namespace chat::document {
namespace {

using crdt::ObjId;

const std::regex kMintedMessageId("m_[0-9a-f]{12}4[0-9a-f]{3}[89ab][0-9a-f]{15}");

// Replaces minted ids by "<minted-N>", numbered by first appearance.
void normalise_minted(Json& j, std::map<std::string, std::string>& names) {
  if (j.is_string()) {
    const std::string& s = j.get_ref<const std::string&>();
    if (std::regex_match(s, kMintedMessageId)) {
      auto [it, inserted] = names.emplace(s, "");
      if (inserted) it->second = "<minted-" + std::to_string(names.size()) + ">";
      j = it->second;
    }
  } else if (j.is_structured()) {
    for (auto& child : j) normalise_minted(child, names);
  }
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(SeedGoldenTest, DemonstrationContentMatchesTheCheckedFixture) {
  crdt::Document doc;
  write_demo_content(doc);
  Json dumped = dump_document(doc);
  std::map<std::string, std::string> minted;
  normalise_minted(dumped, minted);
  EXPECT_EQ(minted.size(), 4u) << "three replies and the welcome message get minted ids";
  const std::string actual = dumped.dump(2) + "\n";

  const std::string path = std::string(ZARN_TEST_DATA_DIR) + "/demo_content.json";
  const std::string expected = read_file(path);
  if (expected.empty()) {
    const std::string out = std::string(ZARN_TEST_BINARY_DIR) + "/demo_content.json";
    std::ofstream(out) << actual;
    FAIL() << "no fixture at " << path << "; wrote the current content to " << out << " for review";
  }
  EXPECT_EQ(actual, expected);
}

TEST(SeedTest, SeedingTwiceWritesTheContentOnce) {
  crdt::Document doc;
  write_demo_content(doc);
  doc.commit();
  const Json once = dump_document(doc);
  const auto heads = doc.heads();
  write_demo_content(doc);
  write_starter_content(doc, LocalUser{"u_x", "X Y", "XY", 0});
  EXPECT_EQ(doc.pending_ops(), 0u);
  EXPECT_EQ(doc.heads(), heads);
  EXPECT_EQ(dump_document(doc), once);
}

TEST(SeedTest, MintedIdsAreFreshPerDocumentAndFixedIdsStay) {
  crdt::Document a;
  crdt::Document b;
  write_demo_content(a);
  write_demo_content(b);
  auto ids = [](const crdt::Document& doc) {
    std::vector<std::string> out;
    for (const char* channel : {"c_crit", "c_general"}) {
      for (const auto& m : read_messages(doc, channel)) out.push_back(m.id);
    }
    return out;
  };
  const auto ia = ids(a);
  const auto ib = ids(b);
  ASSERT_EQ(ia.size(), 12u);
  ASSERT_EQ(ib.size(), 12u);
  for (std::size_t i = 0; i < ia.size(); ++i) {
    SCOPED_TRACE(ia[i]);
    EXPECT_EQ(ia[i] == ib[i], i < 8) << "only the eight fixed ids repeat";
    if (i >= 8) {
      EXPECT_TRUE(std::regex_match(ia[i], kMintedMessageId));
    }
  }
}

TEST(SeedTest, StarterContentForTheLocalUser) {
  crdt::Document doc;
  write_starter_content(doc, LocalUser{"u_ada", "Ada Lovelace", "AL", 9});
  EXPECT_TRUE(is_seeded(doc));
  // No messages, drafts or read marks.
  EXPECT_EQ(doc.keys(ObjId::root()), (std::vector<std::string>{"categories", "channels", "seeded",
                                                               "users", "voice", "workspaces"}));
  EXPECT_EQ(read_users(doc),
            (std::vector<UserRecord>{{"u_ada", "Ada Lovelace", "AL", 0, Presence::Online, false}}));
  EXPECT_EQ(read_workspaces(doc),
            (std::vector<WorkspaceRecord>{{"ws_home", "My Workspace", "MW", 0, 0}}));
  EXPECT_EQ(read_categories(doc),
            (std::vector<CategoryRecord>{{"cat_home_text", "ws_home", "Channels", 0, false},
                                         {"cat_home_voice", "ws_home", "Voice", 1, false}}));
  EXPECT_EQ(
      read_channels(doc),
      (std::vector<ChannelRecord>{
          {"c_general", "ws_home", "cat_home_text", "general", "", ChannelKind::Text, 0, false},
          {"c_lounge", "ws_home", "cat_home_voice", "Lounge", "", ChannelKind::Voice, 0, false}}));
  EXPECT_EQ(dump_document(doc)["voice"], Json::parse(R"({"c_lounge":{}})"));
  EXPECT_FALSE(get_map(doc, ObjId::root(), kMessages));
}

TEST(SeedTest, DemonstrationCallsAndThreads) {
  crdt::Document doc;
  write_demo_content(doc);
  EXPECT_TRUE(read_call_members(doc, "c_standup").empty());
  EXPECT_TRUE(read_call_members(doc, "c_warroom").empty());
  EXPECT_EQ(read_call_members(doc, "c_huddle").size(), 3u);
  const auto replies = thread_replies(doc, "c_crit", "m_concept");
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[1].reactions, (std::vector<ReactionGroup>{{"👍", {"u_me"}}}));
  const auto nina = read_message(doc, *find_message(doc, "c_crit", "m_nina"));
  EXPECT_EQ(nina.reactions.front().emoji, "🚀");
  EXPECT_EQ(nina.reactions.back().emoji, "👀");
}

}  // namespace
}  // namespace chat::document
