#include "document/read_model.h"

#include <gtest/gtest.h>

#include <random>

#include "document/access.h"
#include "document/day_label.h"
#include "document/entities.h"
#include "document/messages.h"
#include "document/seed.h"
#include "document/upkeep.h"

namespace chat::document {
namespace {

using crdt::ObjId;

const LocalUser kMe{"u_me", "Me Myself", "MM", 3};

ChannelRecord text_channel(std::string id, std::string ws, std::int64_t order,
                           std::string name = "chan") {
  return ChannelRecord{std::move(id),     std::move(ws), "cat", std::move(name), "",
                       ChannelKind::Text, order,         false};
}

ChannelRecord voice_channel(std::string id, std::string ws, std::int64_t order) {
  return ChannelRecord{std::move(id),      std::move(ws), "cat", "talk", "",
                       ChannelKind::Voice, order,         false};
}

MessageRecord msg(std::string id, std::string author, std::optional<std::string> parent = {},
                  std::int64_t ts = 100) {
  MessageRecord m;
  m.id = std::move(id);
  m.author = std::move(author);
  m.ts = ts;
  m.parent = std::move(parent);
  m.text = "text of " + m.id;
  return m;
}

void set_read_mark(crdt::Document& doc, std::string_view user, std::string_view channel,
                   std::int64_t mark) {
  ObjId read = ensure_map(doc, ObjId::root(), kRead);
  put_int(doc, ensure_map(doc, read, user), channel, mark);
}

ReadModelInputs inputs_for(std::string ws, std::string channel) {
  ReadModelInputs in;
  in.selection = Selection{ws, ws, std::move(channel), std::nullopt};
  in.local = kMe;
  return in;
}

std::vector<std::string> ids_of(const auto& items) {
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(i.id);
  return out;
}

TEST(ReadModelOrderTest, StableByLow32BitsUnsignedThenId) {
  crdt::Document doc;
  const std::int64_t orders[] = {0, 0, -1, (std::int64_t{1} << 31) - 1, (std::int64_t{1} << 32) + 1,
                                 2};
  const char* ids[] = {"b", "a", "neg", "big", "wrap", "two"};
  for (std::size_t i = 0; i < std::size(ids); ++i) {
    write_workspace(doc, WorkspaceRecord{std::string("ws_") + ids[i], "W", "W", 0, orders[i]});
    write_category(doc,
                   CategoryRecord{std::string("cat_") + ids[i], "ws_a", "C", orders[i], false});
    // Channels of different workspaces still sort as one list.
    write_channel(doc,
                  text_channel(std::string("c_") + ids[i], i % 2 ? "ws_a" : "ws_b", orders[i]));
  }
  doc.commit();
  const ReadModel m = rebuild_read_model(doc, inputs_for("ws_a", "c_a"));
  const std::vector<std::string> expected = {"a", "b", "wrap", "two", "big", "neg"};
  auto prefixed = [&](std::string p) {
    std::vector<std::string> out;
    for (const auto& e : expected) out.push_back(p + e);
    return out;
  };
  EXPECT_EQ(ids_of(m.workspaces), prefixed("ws_"));
  EXPECT_EQ(ids_of(m.categories), prefixed("cat_"));
  EXPECT_EQ(ids_of(m.channels), prefixed("c_"));
  EXPECT_EQ(m.channels.back().order, 0xFFFFFFFFu);
  EXPECT_EQ(m.channels[2].order, 1u);
}

TEST(ReadModelUnreadTest, TopLevelMessagesBeyondTheLocalMark) {
  struct Case {
    const char* channel;
    std::optional<std::int64_t> mark;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"c_mark7", 7, 0}, {"c_mark2", 2, 3}, {"c_nomark", std::nullopt, 5},
      {"c_mark5", 5, 0}, {"c_neg", -4, 9},
  };
  crdt::Document doc;
  write_workspace(doc, WorkspaceRecord{"ws", "W", "W", 0, 0});
  write_channel(doc, text_channel("c_current", "ws", 0));
  for (const Case& c : cases) {
    write_channel(doc, text_channel(c.channel, "ws", 1));
    for (int i = 0; i < 5; ++i) {
      const std::string root = std::string(c.channel) + "_m" + std::to_string(i);
      ASSERT_EQ(write_message(doc, c.channel, msg(root, "u_x")), MessageWrite::Written);
      // Three replies per channel, one to a root that does not exist.
      if (i < 2) write_message(doc, c.channel, msg(root + "_r", "u_x", root));
    }
    write_message(doc, c.channel, msg(std::string(c.channel) + "_orphan", "u_x", "m_gone"));
    if (c.mark) set_read_mark(doc, kMe.id, c.channel, *c.mark);
    // Another user's mark never counts for the local user.
    set_read_mark(doc, "u_other", c.channel, 100);
  }
  for (int i = 0; i < 4; ++i)
    write_message(doc, "c_current", msg("cur" + std::to_string(i), "u_x"));
  doc.commit();

  const ReadModel m = rebuild_read_model(doc, inputs_for("ws", "c_current"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.channel);
    auto it = std::find_if(m.channels.begin(), m.channels.end(),
                           [&](const Channel& ch) { return ch.id == c.channel; });
    ASSERT_NE(it, m.channels.end());
    EXPECT_EQ(it->unread, c.expected);
  }
  EXPECT_EQ(m.channels.front().id, "c_current");
  EXPECT_EQ(m.channels.front().unread, 0u);
}

TEST(ReadModelUnreadTest, CountArithmetic) {
  struct Case {
    std::size_t top;
    std::int64_t mark;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {0, 0, 0},
      {3, 5, 0},
      {3, -2, 5},
      {5, INT64_MAX, 0},
      // The count is a 32-bit value: larger differences keep their low bits.
      {(std::size_t{1} << 32) + 7, 0, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.top) + " " + std::to_string(c.mark));
    EXPECT_EQ(unread_count(c.top, c.mark), c.expected);
  }
}

TEST(ReadModelMessagesTest, PostingOrderAndChannelListOrder) {
  crdt::Document doc;
  write_workspace(doc, WorkspaceRecord{"ws", "W", "W", 0, 0});
  write_channel(doc, text_channel("c_second", "ws", 5));
  write_channel(doc, text_channel("c_first", "ws", 1));
  write_message(doc, "c_second", msg("m_s1", "u_x", {}, 50));
  write_message(doc, "c_first", msg("m_f_late", "u_x", {}, 900));
  write_message(doc, "c_first", msg("m_f_early", "u_x", {}, 10));
  write_message(doc, "c_first", msg("m_f_reply", "u_x", "m_f_late", 20));
  write_message(doc, "c_nochannel", msg("m_stray", "u_x"));
  doc.commit();
  const ReadModel m = rebuild_read_model(doc, inputs_for("ws", "c_first"));
  EXPECT_EQ(ids_of(m.messages), (std::vector<std::string>{"m_f_late", "m_f_early", "m_f_reply"}));
  EXPECT_EQ(ids_of(m.all_messages),
            (std::vector<std::string>{"m_f_late", "m_f_early", "m_f_reply", "m_s1"}));
  EXPECT_EQ(m.all_messages.back().channel, "c_second");
  EXPECT_EQ(m.messages[2].parent, std::optional<std::string>("m_f_late"));
}

// Starter content meets a new application object's demonstration selection, then the
// selection repair of the frame cycle, then the next rebuild.
TEST(ReadModelRepairTest, StarterContentSequence) {
  crdt::Document doc;
  write_starter_content(doc, kMe);
  doc.commit();
  ReadModelInputs in;
  in.local = kMe;
  const ReadModel first = rebuild_read_model(doc, in);
  EXPECT_EQ(first.context_workspace, "ws_home");
  EXPECT_EQ(first.current_channel, "c_crit");
  EXPECT_TRUE(first.messages.empty());

  in.selection.selected_workspace = "ws_home";
  in.selection.context_workspace = first.context_workspace;
  in.selection.current_channel.clear();
  const ReadModel second = rebuild_read_model(doc, in);
  EXPECT_EQ(second.context_workspace, "ws_home");
  EXPECT_EQ(second.current_channel, "c_general");
  EXPECT_EQ(second.main_composer.placeholder, "Message #general");
}

TEST(ReadModelRepairTest, CurrentChannelAndContextWorkspace) {
  crdt::Document doc;
  write_workspace(doc, WorkspaceRecord{"ws_a", "A", "A", 0, 1});
  write_workspace(doc, WorkspaceRecord{"ws_b", "B", "B", 0, 0});
  write_channel(doc, voice_channel("c_a0_voice", "ws_a", 0));
  ChannelRecord archived = text_channel("c_a1_archived", "ws_a", 1);
  archived.archived = true;
  write_channel(doc, archived);
  write_channel(doc, text_channel("c_a3", "ws_a", 3));
  write_channel(doc, text_channel("c_a2", "ws_a", 2));
  write_channel(doc, text_channel("c_b0", "ws_b", 0));
  write_channel(doc, voice_channel("c_b_voice", "ws_b", 1));
  doc.commit();

  struct Case {
    const char* name;
    Selection sel;
    std::string context;
    std::string current;
  };
  const Case cases[] = {
      {"valid stays", {"ws_a", "ws_b", "c_a3", {}}, "ws_b", "c_a3"},
      {"archived current stays", {"ws_a", "ws_a", "c_a1_archived", {}}, "ws_a", "c_a1_archived"},
      {"other workspace's channel", {"ws_a", "ws_a", "c_b0", {}}, "ws_a", "c_a2"},
      {"missing channel", {"ws_b", "ws_b", "c_gone", {}}, "ws_b", "c_b0"},
      {"context gone, selected exists", {"ws_a", "ws_gone", "c_a2", {}}, "ws_a", "c_a2"},
      {"both gone: first workspace", {"ws_x", "ws_y", "c_a2", {}}, "ws_b", "c_a2"},
      {"no candidate keeps current", {"ws_x", "ws_a", "c_gone", {}}, "ws_a", "c_gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadModelInputs in;
    in.selection = c.sel;
    in.local = kMe;
    const ReadModel m = rebuild_read_model(doc, in);
    EXPECT_EQ(m.context_workspace, c.context);
    EXPECT_EQ(m.current_channel, c.current);
  }
}

TEST(ReadModelPeopleTest, MembershipOfTheSelectedWorkspace) {
  crdt::Document doc;
  write_workspace(doc, WorkspaceRecord{"ws", "W", "W", 0, 0});
  write_workspace(doc, WorkspaceRecord{"ws_other", "O", "O", 0, 1});
  write_channel(doc, text_channel("c_main", "ws", 0));
  write_channel(doc, voice_channel("c_voice", "ws", 1));
  write_channel(doc, text_channel("c_else", "ws_other", 0));
  const std::pair<const char*, const char*> users[] = {
      {"u_author", "Zed"},       {"u_mentioned", "Amy"}, {"u_caller", "Bob"},
      {"u_reactor", "Rita"},     {"u_elsewhere", "Eve"}, {"u_self2", "Amy"},
      {"u_unrelated", "Nobody"},
  };
  for (auto [id, name] : users)
    write_user(doc, UserRecord{id, name, "XX", 1, Presence::Idle, false});
  MessageRecord m = msg("m1", "u_author");
  m.mentions.push_back(Mention{"u_mentioned", 0, 3, false});
  m.mentions.push_back(Mention{"u_ghost", 0, 3, false});  // no user record: not listed
  m.reactions.push_back(ReactionGroup{"👍", {"u_reactor"}});
  write_message(doc, "c_main", m);
  write_message(doc, "c_else", msg("m2", "u_elsewhere"));
  join_call(doc, "c_voice", "u_caller");
  doc.commit();

  ReadModelInputs in = inputs_for("ws", "c_main");
  in.self_ids = {"u_self2"};
  const ReadModel model = rebuild_read_model(doc, in);
  // By name, equal names by id; the local user comes from the identity when it has no record.
  EXPECT_EQ(ids_of(model.people),
            (std::vector<std::string>{"u_mentioned", "u_self2", "u_caller", "u_me", "u_author"}));
  const Person& me = model.people[3];
  EXPECT_EQ(me, (Person{"u_me", "Me Myself", "MM", 3, Presence::Online, false}));

  // With a record of its own, the local user is listed from the record.
  write_user(doc, UserRecord{"u_me", "Aaron", "AA", 5, Presence::Dnd, false});
  doc.commit();
  const ReadModel again = rebuild_read_model(doc, in);
  ASSERT_FALSE(again.people.empty());
  EXPECT_EQ(again.people.front(), (Person{"u_me", "Aaron", "AA", 5, Presence::Dnd, false}));
  EXPECT_EQ(again.people.size(), model.people.size());
}

TEST(ReadModelCallTest, TalkingFirstThenUserId) {
  crdt::Document doc;
  write_workspace(doc, WorkspaceRecord{"ws", "W", "W", 0, 0});
  write_workspace(doc, WorkspaceRecord{"ws_other", "O", "O", 0, 1});
  write_channel(doc, voice_channel("c_v1", "ws", 1));
  write_channel(doc, voice_channel("c_v0_empty", "ws", 0));
  write_channel(doc, voice_channel("c_vx", "ws_other", 0));
  const std::pair<const char*, bool> members[] = {{"u_b", false}, {"u_a", true}, {"u_c", true}};
  for (auto [user, talking] : members) {
    set_call_state(doc, "c_v1", user, CallState{talking, !talking, false, false});
  }
  join_call(doc, "c_vx", "u_z");
  doc.commit();
  const ReadModel m = rebuild_read_model(doc, inputs_for("ws", ""));
  ASSERT_EQ(m.calls.size(), 1u);
  EXPECT_EQ(m.calls[0].channel, "c_v1");
  std::vector<std::string> order;
  for (const auto& member : m.calls[0].members) order.push_back(member.user);
  EXPECT_EQ(order, (std::vector<std::string>{"u_a", "u_c", "u_b"}));
}

TEST(ReadModelComposerTest, DraftsAndPlaceholders) {
  crdt::Document doc;
  write_workspace(doc, WorkspaceRecord{"ws", "W", "W", 0, 0});
  write_channel(doc, text_channel("c_main", "ws", 0, "design"));
  ASSERT_TRUE(set_draft(doc, draft_key("c_main"), "half a thought"));
  ASSERT_TRUE(set_draft(doc, thread_draft_key("c_main", "m_root"), "a reply"));
  doc.commit();
  ReadModelInputs in = inputs_for("ws", "c_main");
  ReadModel m = rebuild_read_model(doc, in);
  EXPECT_EQ(m.main_composer, (ComposerText{"half a thought", "Message #design", "u_me"}));
  EXPECT_EQ(m.thread_composer, (ComposerText{"", "Reply…", ""}));
  in.selection.open_thread = "m_root";
  m = rebuild_read_model(doc, in);
  EXPECT_EQ(m.thread_composer.text, "a reply");
}

TEST(DayLabelTest, UtcCalendarDays) {
  const std::int64_t r = 1782477600;
  struct Case {
    std::int64_t ref;
    std::int64_t ts;
    const char* expected;
  };
  const Case cases[] = {
      {r, 1782464400, "Today"},
      {r, r - 86400, "Yesterday"},
      {r, r + 86400 * 3, "Today"},
      {r, r - 86400 * 5, "5 days ago"},
      // Same UTC day boundaries on either side of the epoch.
      {0, -1, "Yesterday"},
      {-1, -86400, "Today"},
      {-86401, -86400 * 2, "Today"},
      {86399, 0, "Today"},
      {86400, 86399, "Yesterday"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.ref) + " " + std::to_string(c.ts));
    EXPECT_EQ(day_label(c.ref, c.ts), c.expected);
  }
}

// Skipping all messages changes nothing else, and read_all_messages gives what was skipped.
void expect_skip_equals_read(const crdt::Document& doc, ReadModelInputs in) {
  in.all_messages = AllMessages::Read;
  ReadModel read = rebuild_read_model(doc, in);
  in.all_messages = AllMessages::Skip;
  const ReadModel skipped = rebuild_read_model(doc, in);
  EXPECT_TRUE(skipped.all_messages.empty());
  ASSERT_EQ(read_all_messages(doc, skipped.channels), read.all_messages);
  read.all_messages.clear();
  ASSERT_EQ(skipped, read);
}

// Message maps the tolerant reader defaults: the scan behind unread counts and people must
// default them the same way as the full read.
TEST(ReadModelTest, SkippingAllMessagesReadsOddMessagesAlike) {
  crdt::Document doc;
  write_workspace(doc, WorkspaceRecord{"ws", "W", "W", 0, 0});
  write_channel(doc, text_channel("c_cur", "ws", 0));
  write_channel(doc, text_channel("c_odd", "ws", 1));
  for (const char* id : {"", "u_int", "u_named", "u_mentioned", "u_me"}) {
    write_user(doc, UserRecord{id, std::string("name ") + id, "N", 0, Presence::Online, false});
  }
  const ObjId messages = ensure_map(doc, ObjId::root(), kMessages);
  const ObjId list = ensure_list(doc, messages, "c_odd");
  // No author (reads as the empty id), an int parent (top-level), an empty parent.
  const ObjId a = append_map(doc, list, "insert msg");
  put_int(doc, a, "parent", 5);
  const ObjId b = append_map(doc, list, "insert msg");
  put_str(doc, b, "parent", "");
  put_int(doc, b, "author", 7);
  // A reply whose mentions hold an entry without a user, a non-map entry and a named user.
  const ObjId c = append_map(doc, list, "insert msg");
  put_str(doc, c, "parent", "m_gone");
  put_str(doc, c, "author", "u_named");
  const ObjId mentions = ensure_list(doc, c, "mentions");
  append_map(doc, mentions, "mention");
  ASSERT_TRUE(doc.insert(mentions, 1, std::string("not a map")));
  put_str(doc, append_map(doc, mentions, "mention"), "user", "u_mentioned");
  // "mentions" that is no list is ignored; a scalar element of the channel list is no message.
  const ObjId d = append_map(doc, list, "insert msg");
  put_str(doc, d, "mentions", "u_int");
  ASSERT_TRUE(doc.insert(list, 4, std::int64_t{1}));
  doc.commit();

  ReadModelInputs in = inputs_for("ws", "c_cur");
  in.all_messages = AllMessages::Skip;
  const ReadModel m = rebuild_read_model(doc, in);
  ASSERT_EQ(m.channels.size(), 2u);
  EXPECT_EQ(m.channels[1].unread, 3u);
  EXPECT_EQ(ids_of(m.people), (std::vector<std::string>{"", "u_me", "u_mentioned", "u_named"}));
  expect_skip_equals_read(doc, in);
}

// Random edits (committed or left pending) and selection changes: the cached rebuild must
// always equal a fresh full rebuild.
TEST(ReadModelCacheTest, CachedRebuildEqualsFullRebuild) {
  std::mt19937 rng(12345);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::string wss[] = {"ws_a", "ws_b", "ws_gone"};
  const std::string channels[] = {"c_0", "c_1", "c_2", "c_3", "c_gone"};
  const std::string users[] = {"u_me", "u_1", "u_2"};

  crdt::Document doc;
  write_demo_content(doc);
  doc.commit();
  ReadModelCache cache;
  ReadModelInputs in = inputs_for("ws_a", "c_0");
  int reused = 0;
  int msg_no = 0;
  for (int step = 0; step < 300; ++step) {
    switch (pick(10)) {
      case 0:
        write_workspace(
            doc, WorkspaceRecord{wss[pick(2)], "W" + std::to_string(pick(9)), "G", 0, pick(5) - 2});
        break;
      case 1: {
        ChannelRecord c = pick(3) ? text_channel(channels[pick(4)], wss[pick(2)], pick(6) - 1)
                                  : voice_channel(channels[pick(4)], wss[pick(2)], pick(4));
        c.archived = pick(4) == 0;
        write_channel(doc, c);
        break;
      }
      case 2: {
        MessageRecord m = msg("m_r" + std::to_string(msg_no++), users[pick(3)]);
        if (pick(3) == 0) m.parent = "m_r0";
        if (pick(3) == 0) m.mentions.push_back(Mention{users[pick(3)], 0, 1, false});
        write_message(doc, channels[pick(5)], m);
        break;
      }
      case 3:
        set_read_mark(doc, users[pick(3)], channels[pick(4)], pick(6) - 1);
        break;
      case 4:
        set_call_state(doc, channels[pick(4)], users[pick(3)],
                       CallState{pick(2) == 0, false, false, false});
        break;
      case 5:
        (void)set_draft(doc, draft_key(channels[pick(4)]), "draft " + std::to_string(pick(9)));
        break;
      case 6:
        in.selection = Selection{wss[pick(3)], wss[pick(3)], channels[pick(5)],
                                 pick(2) ? std::optional<std::string>("m_r0") : std::nullopt};
        break;
      case 7:
        in.self_ids = pick(2) ? std::vector<std::string>{"u_1"} : std::vector<std::string>{};
        break;
      case 8:
        in.all_messages = pick(2) ? AllMessages::Read : AllMessages::Skip;
        break;
      default:
        break;  // nothing changes
    }
    if (pick(3) != 0) doc.commit();
    SCOPED_TRACE(step);
    const ReadModel& cached = cache.rebuild(doc, in);
    reused += cache.last_was_reused() ? 1 : 0;
    ASSERT_EQ(cached, rebuild_read_model(doc, in));
    expect_skip_equals_read(doc, in);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(reused, 0);
}

TEST(ReadModelCacheTest, ReusesOnlyWhenNothingChanged) {
  crdt::Document doc;
  write_demo_content(doc);
  doc.commit();
  ReadModelCache cache;
  ReadModelInputs in = inputs_for("ws_acme", "c_crit");
  const std::size_t before = cache.rebuild(doc, in).all_messages.size();
  EXPECT_FALSE(cache.last_was_reused());
  cache.rebuild(doc, in);
  EXPECT_TRUE(cache.last_was_reused());

  // An uncommitted write does not move the heads but must still be seen.
  write_message(doc, "c_crit", msg("m_pending", "u_me"));
  EXPECT_EQ(cache.rebuild(doc, in).all_messages.size(), before + 1);
  EXPECT_FALSE(cache.last_was_reused());
  doc.commit();
  cache.rebuild(doc, in);
  EXPECT_FALSE(cache.last_was_reused());
  cache.rebuild(doc, in);
  EXPECT_TRUE(cache.last_was_reused());

  in.local.name = "Renamed";
  cache.rebuild(doc, in);
  EXPECT_FALSE(cache.last_was_reused());
}

}  // namespace
}  // namespace chat::document
