#include "document/entities.h"

#include <gtest/gtest.h>

#include "document/access.h"

namespace chat::document {
namespace {

using crdt::ObjId;
using crdt::Scalar;

ObjId entity(crdt::Document& doc, std::string_view root_key, std::string_view id) {
  return ensure_map(doc, ensure_map(doc, ObjId::root(), root_key), id);
}

TEST(ChannelReaderTest, OnlyVoiceMakesAVoiceChannel) {
  struct Case {
    const char* id;
    std::optional<Scalar> kind;
    ChannelKind expected;
  };
  const Case cases[] = {
      {"c_missing", std::nullopt, ChannelKind::Text},
      {"c_empty", Scalar{std::string()}, ChannelKind::Text},
      {"c_capital", Scalar{std::string("Voice")}, ChannelKind::Text},
      {"c_number", Scalar{std::int64_t{1}}, ChannelKind::Text},
      {"c_voice", Scalar{std::string("voice")}, ChannelKind::Voice},
  };
  crdt::Document doc;
  for (const Case& c : cases) {
    ObjId m = entity(doc, kChannels, c.id);
    if (c.kind) {
      ASSERT_TRUE(doc.put(m, "kind", *c.kind));
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    auto ch = read_channel(doc, c.id);
    ASSERT_TRUE(ch);
    EXPECT_EQ(ch->kind, c.expected);
  }
}

TEST(UserReaderTest, StatusNamesOnlyIdleDndAndOfflineElseOnline) {
  struct Case {
    const char* id;
    std::optional<Scalar> status;
    Presence expected;
  };
  const Case cases[] = {
      {"u_missing", std::nullopt, Presence::Online},
      {"u_empty", Scalar{std::string()}, Presence::Online},
      {"u_busy", Scalar{std::string("busy")}, Presence::Online},
      {"u_caps", Scalar{std::string("Idle")}, Presence::Online},
      {"u_bool", Scalar{true}, Presence::Online},
      {"u_idle", Scalar{std::string("idle")}, Presence::Idle},
      {"u_dnd", Scalar{std::string("dnd")}, Presence::Dnd},
      {"u_offline", Scalar{std::string("offline")}, Presence::Offline},
  };
  crdt::Document doc;
  for (const Case& c : cases) {
    ObjId m = entity(doc, kUsers, c.id);
    if (c.status) {
      ASSERT_TRUE(doc.put(m, "status", *c.status));
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    auto u = read_user(doc, c.id);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->status, c.expected);
  }
}

TEST(EntityReaderTest, MissingAndMistypedFieldsTakeTheirDefaults) {
  crdt::Document doc;
  ObjId ch = entity(doc, kChannels, "c_x");
  ASSERT_TRUE(doc.put(ch, "name", Scalar{std::int64_t{5}}));
  ASSERT_TRUE(doc.put(ch, "order", Scalar{2.9}));
  ASSERT_TRUE(doc.put(ch, "archived", Scalar{std::string("yes")}));
  ObjId ws = entity(doc, kWorkspaces, "ws_x");
  ASSERT_TRUE(doc.put(ws, "order", Scalar{crdt::Counter{4}}));
  ObjId cat = entity(doc, kCategories, "cat_x");
  ASSERT_TRUE(doc.put(cat, "collapsed", Scalar{std::int64_t{1}}));
  // A non-map under an id is no entity.
  ASSERT_TRUE(doc.put(ensure_map(doc, ObjId::root(), kUsers), "u_scalar", Scalar{true}));

  EXPECT_EQ(read_channel(doc, "c_x"),
            (ChannelRecord{"c_x", "", "", "", "", ChannelKind::Text, 2, false}));
  EXPECT_EQ(read_workspace(doc, "ws_x"), (WorkspaceRecord{"ws_x", "", "", 0, 4}));
  EXPECT_EQ(read_category(doc, "cat_x"), (CategoryRecord{"cat_x", "", "", 0, false}));
  EXPECT_EQ(read_user(doc, "u_scalar"), std::nullopt);
  EXPECT_TRUE(read_users(doc).empty());
  EXPECT_EQ(read_channel(doc, "c_none"), std::nullopt);
  EXPECT_EQ(read_mark(doc, "u_me", "c_x"), 0);
}

TEST(EntityWriterTest, RoundTripsAndRewritingTheSameRecordChangesNothing) {
  crdt::Document doc;
  const UserRecord agent{"u_bot", "Bot", "BT", 4, Presence::Dnd, true};
  const ChannelRecord voice{"c_v", "ws", "cat", "Talk", "", ChannelKind::Voice, 3, false};
  const CategoryRecord cat{"cat", "ws", "Voice", 1, true};
  const WorkspaceRecord ws{"ws", "W", "WW", 2, 0};
  write_user(doc, agent);
  write_channel(doc, voice);
  write_category(doc, cat);
  write_workspace(doc, ws);
  doc.commit();
  const std::size_t changes = doc.change_count();

  EXPECT_EQ(read_user(doc, "u_bot"), agent);
  EXPECT_EQ(read_channel(doc, "c_v"), voice);
  EXPECT_EQ(read_category(doc, "cat"), cat);
  EXPECT_EQ(read_workspace(doc, "ws"), ws);
  // A voice channel gets its empty call entry.
  auto voice_root = get_map(doc, ObjId::root(), kVoice);
  ASSERT_TRUE(voice_root);
  auto entry = get_map(doc, *voice_root, "c_v");
  ASSERT_TRUE(entry);
  EXPECT_EQ(doc.length(*entry), 0u);

  write_user(doc, agent);
  write_channel(doc, voice);
  write_category(doc, cat);
  write_workspace(doc, ws);
  EXPECT_EQ(doc.pending_ops(), 0u);
  doc.commit();
  EXPECT_EQ(doc.change_count(), changes);
}

TEST(EntityWriterTest, OptionalFlagsStayAbsentUntilSet) {
  crdt::Document doc;
  write_user(doc, UserRecord{"u_a", "A", "AA", 0, Presence::Online, false});
  write_channel(doc, ChannelRecord{"c_t", "ws", "cat", "t", "", ChannelKind::Text, 0, false});
  const ObjId user = entity(doc, kUsers, "u_a");
  const ObjId ch = entity(doc, kChannels, "c_t");
  EXPECT_FALSE(doc.get(user, "agent"));
  EXPECT_FALSE(doc.get(ch, "archived"));
  EXPECT_FALSE(get_map(doc, ObjId::root(), kVoice));

  write_channel(doc, ChannelRecord{"c_t", "ws", "cat", "t", "", ChannelKind::Text, 0, true});
  EXPECT_EQ(read_bool(doc, ch, "archived"), true);
  write_channel(doc, ChannelRecord{"c_t", "ws", "cat", "t", "", ChannelKind::Text, 0, false});
  EXPECT_EQ(read_bool(doc, ch, "archived"), false);
}

TEST(UpsertUserTest, WritesOnlyTheFieldsThatDiffer) {
  crdt::Document doc;
  upsert_user(doc, "u_me", "Ada", "AL", 3, Presence::Online);
  doc.commit();
  upsert_user(doc, "u_me", "Ada", "AL", 3, Presence::Online);
  EXPECT_EQ(doc.pending_ops(), 0u);
  upsert_user(doc, "u_me", "Ada", "AL", 3, Presence::Idle);
  EXPECT_EQ(doc.pending_ops(), 1u);
  EXPECT_EQ(read_user(doc, "u_me")->status, Presence::Idle);
}

TEST(CallMemberTest, JoinKeepsExistingFlagsAndCallStateLeavesSharingAlone) {
  crdt::Document doc;
  join_call(doc, "c_v", "u_b");
  set_call_state(doc, "c_v", "u_b", CallState{false, true, false, false});
  const ObjId member = ensure_map(doc, entity(doc, kVoice, "c_v"), "u_b");
  put_bool(doc, member, "sharing", true);
  join_call(doc, "c_v", "u_b");
  join_call(doc, "c_v", "u_a");
  set_call_state(doc, "c_v", "u_c", CallState{true, false, true, true});

  const auto members = read_call_members(doc, "c_v");
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(members[0], (CallMemberRecord{"u_a", std::nullopt, false, false, false, false, false}));
  EXPECT_EQ(members[1], (CallMemberRecord{"u_b", std::nullopt, false, true, false, false, true}));
  // Call state alone creates no defaults: "sharing" stays absent (reads false).
  EXPECT_EQ(members[2], (CallMemberRecord{"u_c", std::nullopt, true, false, true, true, false}));
  EXPECT_FALSE(doc.get(ensure_map(doc, entity(doc, kVoice, "c_v"), "u_c"), "sharing"));
}

}  // namespace
}  // namespace chat::document
