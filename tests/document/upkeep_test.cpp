#include "document/upkeep.h"

#include <gtest/gtest.h>

#include "document/access.h"
#include "document/dump.h"
#include "document/entities.h"
#include "document/messages.h"

namespace chat::document {
namespace {

using crdt::ObjId;

const LocalUser kLocal{"u_local", "Ada Lovelace", "AL", 7};

TEST(UpkeepTest, FlagsChooseWhichContentSeedsAFreshDocument) {
  struct Case {
    const char* name;
    bool interactive;
    bool starter;
    const char* workspace;
    bool local_user;
    std::int64_t local_color;
  };
  const Case cases[] = {
      {"interactive", true, false, "ws_home", true, 7},
      {"interactive wins over starter", true, true, "ws_home", true, 7},
      {"starter shot", false, true, "ws_home", true, 0},
      {"demonstration", false, false, "ws_acme", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    crdt::Document doc;
    UpkeepState state{c.interactive, c.starter, false};
    run_upkeep(doc, state, kLocal);
    EXPECT_TRUE(is_seeded(doc));
    EXPECT_TRUE(read_workspace(doc, c.workspace));
    EXPECT_EQ(read_workspaces(doc).size(), std::string_view(c.workspace) == "ws_home" ? 1u : 3u);
    auto user = read_user(doc, kLocal.id);
    EXPECT_EQ(user.has_value(), c.local_user);
    if (user) {
      EXPECT_EQ(user->color_idx, c.local_color);
    }
    EXPECT_TRUE(state.attachments_migrated);
  }
}

TEST(UpkeepTest, SecondRunOnAnUnchangedDocumentWritesNothing) {
  for (bool interactive : {true, false}) {
    SCOPED_TRACE(interactive);
    crdt::Document doc;
    UpkeepState state{interactive, false, false};
    run_upkeep(doc, state, kLocal);
    doc.commit();
    const auto heads = doc.heads();
    const auto changes = doc.change_count();
    UpkeepState fresh{interactive, false, false};  // a new application object migrates again
    run_upkeep(doc, state, kLocal);
    run_upkeep(doc, fresh, kLocal);
    EXPECT_EQ(doc.pending_ops(), 0u);
    doc.commit();
    EXPECT_EQ(doc.heads(), heads);
    EXPECT_EQ(doc.change_count(), changes);
  }
}

TEST(UpkeepTest, InteractiveUpkeepRefreshesTheLocalUserOnly) {
  crdt::Document doc;
  UpkeepState state{true, false, false};
  run_upkeep(doc, state, kLocal);
  ObjId user = ensure_map(doc, ensure_map(doc, ObjId::root(), kUsers), kLocal.id);
  put_str(doc, user, "status", "offline");
  doc.commit();
  LocalUser renamed = kLocal;
  renamed.name = "Ada King";
  run_upkeep(doc, state, renamed);
  EXPECT_EQ(doc.pending_ops(), 2u);  // name and status
  EXPECT_EQ(read_user(doc, kLocal.id),
            (UserRecord{kLocal.id, "Ada King", "AL", 7, Presence::Online, false}));
}

TEST(UpkeepTest, SeededDocumentIsNeverReseededEvenWithoutWorkspaces) {
  crdt::Document doc;
  UpkeepState demo{false, false, false};
  run_upkeep(doc, demo, kLocal);
  const ObjId workspaces = ensure_map(doc, ObjId::root(), kWorkspaces);
  for (const std::string& id : doc.keys(workspaces)) ASSERT_TRUE(doc.delete_key(workspaces, id));
  doc.commit();
  for (UpkeepState state : {UpkeepState{false, false, true}, UpkeepState{false, true, true},
                            UpkeepState{true, false, true}}) {
    run_upkeep(doc, state, kLocal);
    EXPECT_TRUE(read_workspaces(doc).empty());
  }
  // Only the interactive user entry was added.
  EXPECT_TRUE(read_user(doc, kLocal.id));
  EXPECT_FALSE(read_user(doc, "u_missing"));
}

class MigrationTest : public testing::Test {
 protected:
  ObjId message_with_path(std::string id, std::optional<crdt::Scalar> path) {
    MessageRecord m;
    m.id = id;
    m.attachment = ImageAttachment{"a.png", "", 1, 1};
    EXPECT_EQ(write_message(doc_, "c_x", m), MessageWrite::Written);
    const ObjId att = *get_map(doc_, *find_message(doc_, "c_x", id), "attachment");
    (void)doc_.delete_key(att, "blob");
    if (path) {
      EXPECT_TRUE(doc_.put(att, "path", *path));
    }
    return att;
  }
  crdt::Document doc_;
};

TEST_F(MigrationTest, RewritesOnlyContentStorePaths) {
  struct Case {
    const char* id;
    std::optional<crdt::Scalar> path;
    const char* expected;  // the attachment map after migration
  };
  const Case cases[] = {
      {"m_blob", crdt::Scalar{std::string("zarn-blob://abc")},
       R"({"blob":"abc","h":1,"kind":"image","name":"a.png","w":1})"},
      {"m_file", crdt::Scalar{std::string("/home/u/a.png")},
       R"({"h":1,"kind":"image","name":"a.png","path":"/home/u/a.png","w":1})"},
      {"m_caps", crdt::Scalar{std::string("ZARN-BLOB://abc")},
       R"({"h":1,"kind":"image","name":"a.png","path":"ZARN-BLOB://abc","w":1})"},
      {"m_int", crdt::Scalar{std::int64_t{5}},
       R"({"h":1,"kind":"image","name":"a.png","path":5,"w":1})"},
      {"m_none", std::nullopt, R"({"h":1,"kind":"image","name":"a.png","w":1})"},
  };
  std::vector<ObjId> atts;
  for (const Case& c : cases) atts.push_back(message_with_path(c.id, c.path));
  EXPECT_EQ(migrate_attachments(doc_), 1u);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].id);
    EXPECT_EQ(dump_object(doc_, atts[i]), Json::parse(cases[i].expected));
  }
  doc_.commit();
  EXPECT_EQ(migrate_attachments(doc_), 0u);
  EXPECT_EQ(doc_.pending_ops(), 0u);
}

TEST_F(MigrationTest, RunsOncePerUpkeepState) {
  UpkeepState state{false, false, false};
  run_upkeep(doc_, state, kLocal);  // seeds and migrates
  const ObjId att = message_with_path("m_late", crdt::Scalar{std::string("zarn-blob://late")});
  run_upkeep(doc_, state, kLocal);
  EXPECT_EQ(read_str(doc_, att, "path"), "zarn-blob://late");
  UpkeepState next_object{false, false, false};
  run_upkeep(doc_, next_object, kLocal);
  EXPECT_EQ(read_str(doc_, att, "blob"), "late");
  EXPECT_FALSE(doc_.get(att, "path"));
}

TEST(DraftTest, SetClearAndNoChangeForTheSameText) {
  crdt::Document doc;
  const std::string key = thread_draft_key("c_x", "m_root");
  EXPECT_EQ(key, "c_x::t::m_root");
  EXPECT_EQ(draft_key("c_x"), "c_x");

  // Clearing a draft that never existed creates nothing.
  ASSERT_TRUE(clear_draft(doc, key));
  EXPECT_EQ(doc.pending_ops(), 0u);
  EXPECT_FALSE(get_map(doc, ObjId::root(), kDrafts));

  ASSERT_TRUE(set_draft(doc, key, "hello wörld"));
  EXPECT_EQ(read_draft(doc, key), "hello wörld");
  const ObjId text = *get_text(doc, *get_map(doc, ObjId::root(), kDrafts), key);
  doc.commit();

  ASSERT_TRUE(set_draft(doc, key, "hello wörld"));
  EXPECT_EQ(doc.pending_ops(), 0u);

  ASSERT_TRUE(set_draft(doc, key, "hello brave wörld"));
  EXPECT_EQ(read_draft(doc, key), "hello brave wörld");
  ASSERT_TRUE(clear_draft(doc, key));
  EXPECT_EQ(read_draft(doc, key), "");
  // The same text object is edited in place, never replaced.
  EXPECT_EQ(get_text(doc, *get_map(doc, ObjId::root(), kDrafts), key), text);
}

TEST(DraftTest, InvalidUtf8IsRefusedAndKeepsTheDraft) {
  crdt::Document doc;
  ASSERT_TRUE(set_draft(doc, "c_x", "kept"));
  doc.commit();
  auto r = set_draft(doc, "c_x", "bad \xFF");
  EXPECT_FALSE(r);
  EXPECT_EQ(read_draft(doc, "c_x"), "kept");
  EXPECT_EQ(doc.pending_ops(), 0u);
}

}  // namespace
}  // namespace chat::document
