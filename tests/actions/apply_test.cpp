#include "actions/apply.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "actions/action_json.h"
#include "document/access.h"
#include "document/agent_work_store.h"
#include "document/entities.h"
#include "document/messages.h"

namespace chat::actions {
namespace {

namespace dn = chat::document;
using crdt::ObjId;

const std::string kBlob(64, 'c');

// A workspace with two categories, a channel without category, a voice channel with a member,
// and a thread in c_1. Everything committed, so a test sees exactly what apply writes.
class ApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dn::write_workspace(doc, {"ws", "Acme", "AC", 0, 0});
    dn::write_category(doc, {"cat_a", "ws", "Alpha", 0, false});
    dn::write_category(doc, {"cat_b", "ws", "Beta", 1, false});
    channel("c_1", "cat_a", 0);
    channel("c_2", "cat_a", 1);
    channel("c_3", "cat_a", 2);
    channel("c_free", "", 5);
    dn::write_channel(doc,
                      {"c_voice", "ws", "cat_b", "huddle", "", dn::ChannelKind::Voice, 0, false});
    post("c_1", "m_root", "hello", std::nullopt);
    post("c_1", "m_reply", "a reply", std::string("m_root"));
    post("c_2", "m_other", "elsewhere", std::nullopt);
    dn::join_call(doc, "c_voice", "u_a");
    doc.commit();
  }

  void channel(const char* id, const char* cat, std::int64_t order) {
    dn::write_channel(doc, {id, "ws", cat, id, "", dn::ChannelKind::Text, order, false});
  }
  void post(const char* channel, const char* id, const char* text,
            std::optional<std::string> parent) {
    dn::MessageRecord m;
    m.id = id;
    m.author = "u_a";
    m.ts = 100;
    m.parent = std::move(parent);
    m.text = text;
    ASSERT_EQ(dn::write_message(doc, channel, m), dn::MessageWrite::Written);
  }

  // Applies and reports whether anything was written.
  bool run(const ChatAction& action) {
    apply(doc, action);
    const bool wrote = doc.pending_ops() > 0;
    doc.commit();
    return wrote;
  }

  ObjId message(const char* channel, const char* id) {
    auto m = dn::find_message(doc, channel, id);
    EXPECT_TRUE(m.has_value()) << id;
    return m.value_or(ObjId::root());
  }

  dn::ChannelRecord chan(const char* id) { return dn::read_channel(doc, id).value(); }

  std::optional<ObjId> member(const char* channel, const char* user) {
    auto voice = dn::get_map(doc, ObjId::root(), "voice");
    if (!voice) return std::nullopt;
    auto call = dn::get_map(doc, *voice, channel);
    if (!call) return std::nullopt;
    return dn::get_map(doc, *call, user);
  }

  crdt::Document doc;
};

SendMessage base_send() {
  return SendMessage{"c_1", "m_new", "u_me", 200, "hi", {}, {}, {}, {}};
}

TEST_F(ApplyTest, SendMessageAcceptanceRules) {
  struct Case {
    const char* what;
    std::function<void(SendMessage&)> change;
    bool accepted;
  };
  auto image = [](std::uint32_t w, std::uint32_t h) {
    return Attachment{ImageAttachment{"pic.png", kBlob, w, h}};
  };
  auto video = [](std::uint32_t w, std::uint32_t h, std::uint64_t size) {
    return Attachment{VideoAttachment{"clip.mp4", kBlob, w, h, size}};
  };
  auto file = [](std::string name, std::string blob, std::uint64_t size) {
    return Attachment{FileAttachment{std::move(name), std::move(blob), size}};
  };
  const Case cases[] = {
      {"plain", [](SendMessage&) {}, true},
      {"id of 128 bytes", [](SendMessage& s) { s.id = std::string(128, 'a'); }, true},
      {"id of 129 bytes", [](SendMessage& s) { s.id = std::string(129, 'a'); }, false},
      {"empty id", [](SendMessage& s) { s.id = ""; }, false},
      {"id with a dot", [](SendMessage& s) { s.id = "m.1"; }, false},
      {"id with a space", [](SendMessage& s) { s.id = "m 1"; }, false},
      {"id with non-ASCII", [](SendMessage& s) { s.id = "m_é"; }, false},
      {"id of every allowed class", [](SendMessage& s) { s.id = "Az09-_"; }, true},
      {"id taken in this channel", [](SendMessage& s) { s.id = "m_root"; }, false},
      {"id taken in another channel", [](SendMessage& s) { s.id = "m_other"; }, false},
      {"unknown channel", [](SendMessage& s) { s.channel = "c_nope"; }, false},
      {"text of 65536 bytes", [](SendMessage& s) { s.text = std::string(65536, 'x'); }, true},
      {"text of 65537 bytes", [](SendMessage& s) { s.text = std::string(65537, 'x'); }, false},
      {"image 1x1", [&](SendMessage& s) { s.attachment = image(1, 1); }, true},
      {"image at the limit", [&](SendMessage& s) { s.attachment = image(16384, 16384); }, true},
      {"image w 0", [&](SendMessage& s) { s.attachment = image(0, 10); }, false},
      {"image h 0", [&](SendMessage& s) { s.attachment = image(10, 0); }, false},
      {"image too wide", [&](SendMessage& s) { s.attachment = image(16385, 10); }, false},
      {"video 0x0", [&](SendMessage& s) { s.attachment = video(0, 0, 10); }, true},
      {"video of 32 MiB", [&](SendMessage& s) { s.attachment = video(1, 1, 33554432); }, true},
      {"video over 32 MiB", [&](SendMessage& s) { s.attachment = video(1, 1, 33554433); }, false},
      {"empty video", [&](SendMessage& s) { s.attachment = video(1, 1, 0); }, false},
      {"video too tall", [&](SendMessage& s) { s.attachment = video(1, 16385, 5); }, false},
      {"file of 1 byte", [&](SendMessage& s) { s.attachment = file("a.txt", kBlob, 1); }, true},
      {"empty file", [&](SendMessage& s) { s.attachment = file("a.txt", kBlob, 0); }, false},
      {"file over 32 MiB", [&](SendMessage& s) { s.attachment = file("a", kBlob, 33554433); },
       false},
      {"name of 255 bytes",
       [&](SendMessage& s) { s.attachment = file(std::string(255, 'n'), kBlob, 1); }, true},
      {"name of 256 bytes",
       [&](SendMessage& s) { s.attachment = file(std::string(256, 'n'), kBlob, 1); }, false},
      {"empty name", [&](SendMessage& s) { s.attachment = file("", kBlob, 1); }, false},
      {"name with a newline", [&](SendMessage& s) { s.attachment = file("a\nb", kBlob, 1); },
       false},
      {"name with DEL", [&](SendMessage& s) { s.attachment = file("a\x7f", kBlob, 1); }, false},
      {"name with U+0085", [&](SendMessage& s) { s.attachment = file("a\xC2\x85", kBlob, 1); },
       false},
      {"name with U+00A0", [&](SendMessage& s) { s.attachment = file("a\xC2\xA0", kBlob, 1); },
       true},
      {"upper-case blob",
       [&](SendMessage& s) { s.attachment = file("a", std::string(64, 'F'), 1); }, true},
      {"blob of 63 digits",
       [&](SendMessage& s) { s.attachment = file("a", std::string(63, 'f'), 1); }, false},
      {"blob with a non-digit",
       [&](SendMessage& s) { s.attachment = file("a", std::string(63, 'f') + "g", 1); }, false},
      {"reply to a root", [](SendMessage& s) { s.parent = "m_root"; }, true},
      {"reply to a reply", [](SendMessage& s) { s.parent = "m_reply"; }, false},
      {"reply to a missing message", [](SendMessage& s) { s.parent = "m_gone"; }, true},
      {"reply to a root in another channel", [](SendMessage& s) { s.parent = "m_other"; }, true},
      {"empty parent", [](SendMessage& s) { s.parent = ""; }, true},
      {"text not UTF-8", [](SendMessage& s) { s.text = "bad \xC3"; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    doc = crdt::Document();
    SetUp();
    SendMessage send = base_send();
    c.change(send);
    const bool had = dn::message_id_exists(doc, send.id);
    EXPECT_EQ(send_message_acceptable(doc, send), c.accepted);
    EXPECT_EQ(run(send), c.accepted);
    if (!had) {
      EXPECT_EQ(dn::message_id_exists(doc, send.id), c.accepted);
    }
  }
}

TEST_F(ApplyTest, SendMessageWritesTheRecordOnce) {
  SendMessage send = base_send();
  send.parent = "m_root";
  send.text = "hey @bo";
  send.mentions = {Mention{"u_bo", 4, 3, true}};
  send.reference = ResourceRef{"chat.channel", "c_2", "#c_2", Span{0, 3, SpanUnit::Chars}};
  send.attachment = Attachment{ImageAttachment{"pic.png", kBlob, 640, 480}};
  ASSERT_TRUE(run(send));
  EXPECT_FALSE(run(send)) << "a repeated send writes nothing";

  const auto messages = dn::read_messages(doc, "c_1");
  ASSERT_EQ(messages.size(), 3u);
  const auto& m = messages.back();
  EXPECT_EQ(m.id, "m_new");
  EXPECT_EQ(m.author, "u_me");
  EXPECT_EQ(m.ts, 200);
  EXPECT_EQ(m.parent, std::optional<std::string>("m_root"));
  EXPECT_FALSE(m.edited);
  EXPECT_EQ(m.text, "hey @bo");
  EXPECT_TRUE(m.reactions.empty());
  EXPECT_EQ(m.mentions, send.mentions);
  EXPECT_EQ(
      m.reference,
      std::optional<std::string>(
          R"({"kind":"chat.channel","id":"c_2","label":"#c_2","span":{"start":0,"end":3,"unit":"Chars"}})"));
  EXPECT_FALSE(m.work.has_value());
  EXPECT_TRUE(m.history.empty());
  EXPECT_EQ(m.attachment, send.attachment);
  EXPECT_EQ(dn::str_or_empty(doc, message("c_1", "m_new"), "parent"), "m_root");
}

TEST_F(ApplyTest, EditKeepsHistoryAndSkipsUnchangedText) {
  EXPECT_FALSE(run(EditMessage{"c_1", "m_root", "hello", 300})) << "same text";
  EXPECT_FALSE(run(EditMessage{"c_1", "m_missing", "x", 300}));
  EXPECT_FALSE(run(EditMessage{"c_2", "m_root", "x", 300})) << "wrong channel";
  ASSERT_TRUE(run(EditMessage{"c_1", "m_root", "hello world", 300}));
  ASSERT_TRUE(run(EditMessage{"c_1", "m_root", "Hello world!", 301}));
  EXPECT_FALSE(run(EditMessage{"c_1", "m_root", "Hello world!", 302}));

  const auto m = dn::read_message(doc, message("c_1", "m_root"));
  EXPECT_EQ(m.text, "Hello world!");
  EXPECT_TRUE(m.edited);
  ASSERT_EQ(m.history.size(), 2u);
  EXPECT_EQ(m.history[0], (dn::HistoryEntry{300, "hello"}));
  EXPECT_EQ(m.history[1], (dn::HistoryEntry{301, "hello world"}));
  // The text object is the same one, edited in place.
  auto text = dn::get_text(doc, message("c_1", "m_root"), "text");
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(doc.text(*text), "Hello world!");
}

TEST_F(ApplyTest, DeleteMessageRemovesOnlyThatMessage) {
  EXPECT_FALSE(run(DeleteMessage{"c_2", "m_root"}));
  ASSERT_TRUE(run(DeleteMessage{"c_1", "m_root"}));
  const auto left = dn::read_messages(doc, "c_1");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].id, "m_reply");
  EXPECT_FALSE(run(DeleteMessage{"c_1", "m_root"}));
}

TEST_F(ApplyTest, ReactionsAreOnePerEmojiAndUser) {
  EXPECT_FALSE(run(RemoveReaction{"c_1", "m_root", "👍", "u_a"})) << "no reactions yet";
  ASSERT_TRUE(run(AddReaction{"c_1", "m_root", "👍", "u_a"}));
  EXPECT_FALSE(run(AddReaction{"c_1", "m_root", "👍", "u_a"}));
  ASSERT_TRUE(run(AddReaction{"c_1", "m_root", "👍", "u_b"}));
  ASSERT_TRUE(run(AddReaction{"c_1", "m_root", "🎉", "u_a"}));
  EXPECT_FALSE(run(AddReaction{"c_1", "m_missing", "👍", "u_a"}));
  EXPECT_FALSE(run(RemoveReaction{"c_1", "m_root", "🎉", "u_b"}));
  ASSERT_TRUE(run(RemoveReaction{"c_1", "m_root", "👍", "u_a"}));

  const auto groups = dn::read_reactions(doc, message("c_1", "m_root"));
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0], (dn::ReactionGroup{"🎉", {"u_a"}}));
  EXPECT_EQ(groups[1], (dn::ReactionGroup{"👍", {"u_b"}}));
}

TEST_F(ApplyTest, RemoveReactionClearsConcurrentDuplicates) {
  crdt::Document peer = doc.fork();
  apply(doc, AddReaction{"c_1", "m_root", "👍", "u_a"});
  apply(peer, AddReaction{"c_1", "m_root", "👍", "u_a"});
  doc.commit();
  peer.commit();
  ASSERT_TRUE(doc.merge(peer).has_value());
  ASSERT_TRUE(run(RemoveReaction{"c_1", "m_root", "👍", "u_a"}));
  EXPECT_TRUE(dn::read_reactions(doc, message("c_1", "m_root")).empty());
}

TEST_F(ApplyTest, FlagsAreWrittenOnlyWhenTheyDiffer) {
  struct Case {
    ChatAction action;
    bool writes;
  };
  const Case cases[] = {
      {PinMessage{"c_1", "m_root", false}, false},  // absent reads false
      {PinMessage{"c_1", "m_root", true}, true},
      {PinMessage{"c_1", "m_root", true}, false},
      {PinMessage{"c_1", "m_missing", true}, false},
      {ArchiveChannel{"c_1", false}, false},
      {ArchiveChannel{"c_1", true}, true},
      {ArchiveChannel{"c_1", true}, false},
      {ArchiveChannel{"c_missing", true}, false},
      {SetCategoryCollapsed{"cat_a", false}, false},
      {SetCategoryCollapsed{"cat_a", true}, true},
      {SetCategoryCollapsed{"cat_missing", true}, false},
      {RenameCategory{"cat_a", "Alpha"}, false},
      {RenameCategory{"cat_a", "First"}, true},
      {RenameCategory{"cat_missing", "x"}, false},
      {RenameChannel{"c_1", "c_1"}, false},
      {RenameChannel{"c_1", "general"}, true},
      {RenameChannel{"c_missing", "x"}, false},
      {MarkRead{"c_1", "u_me", 0}, true},  // creates read[u_me] and the mark
      {MarkRead{"c_1", "u_me", 0}, false},
      {MarkRead{"c_1", "u_me", 5}, true},
      {MarkRead{"c_1", "u_me", 5}, false},
      {MarkRead{"c_1", "u_me", 2}, true},  // lowers
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(to_json_text(c.action));
    EXPECT_EQ(run(c.action), c.writes);
  }
  const auto cat = dn::read_category(doc, "cat_a").value();
  EXPECT_EQ(cat.name, "First");
  EXPECT_TRUE(cat.collapsed);
  EXPECT_TRUE(chan("c_1").archived);
  EXPECT_EQ(chan("c_1").name, "general");
  EXPECT_TRUE(dn::bool_or_false(doc, message("c_1", "m_root"), "pinned"));
  EXPECT_EQ(dn::read_mark(doc, "u_me", "c_1"), 2);
}

TEST_F(ApplyTest, CreateChannelAndCategoryTakeTheNextOrder) {
  ASSERT_TRUE(run(CreateChannel{"ws", "cat_a", "c_new", "news", ChannelKind::Text}));
  ASSERT_TRUE(run(CreateChannel{"ws", "cat_new", "c_first", "first", ChannelKind::Text}));
  ASSERT_TRUE(run(CreateChannel{"ws_2", "cat_a", "c_other_ws", "x", ChannelKind::Text}));
  ASSERT_TRUE(run(CreateChannel{"ws", "cat_b", "c_talk", "talk", ChannelKind::Voice}));
  ASSERT_TRUE(run(CreateCategory{"ws", "cat_c", "Gamma"}));
  ASSERT_TRUE(run(CreateCategory{"ws_2", "cat_z", "Zed"}));

  EXPECT_EQ(chan("c_new"), (dn::ChannelRecord{"c_new", "ws", "cat_a", "news", "",
                                              dn::ChannelKind::Text, 3, false}));
  EXPECT_EQ(chan("c_first").order, 0);
  EXPECT_EQ(chan("c_other_ws").order, 0);
  EXPECT_EQ(chan("c_talk").kind, dn::ChannelKind::Voice);
  EXPECT_EQ(chan("c_talk").order, 1);
  auto voice = dn::get_map(doc, ObjId::root(), "voice");
  ASSERT_TRUE(voice.has_value());
  EXPECT_TRUE(dn::get_map(doc, *voice, "c_talk").has_value());
  EXPECT_EQ(dn::read_category(doc, "cat_c").value(),
            (dn::CategoryRecord{"cat_c", "ws", "Gamma", 2, false}));
  EXPECT_EQ(dn::read_category(doc, "cat_z").value().order, 0);
}

TEST_F(ApplyTest, DeleteCategoryRehomesChannelsAfterTheUncategorised) {
  channel("c_free2", "", 7);
  doc.commit();
  EXPECT_FALSE(run(DeleteCategory{"cat_missing"}));
  ASSERT_TRUE(run(DeleteCategory{"cat_a"}));
  EXPECT_FALSE(dn::read_category(doc, "cat_a").has_value());
  // Uncategorised channels held orders 5 and 7; cat_a's follow in their read order.
  const char* expected[] = {"c_1", "c_2", "c_3"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(expected[i]);
    EXPECT_EQ(chan(expected[i]).category, "");
    EXPECT_EQ(chan(expected[i]).order, 8 + i);
  }
  EXPECT_EQ(chan("c_free").order, 5);
  EXPECT_EQ(dn::read_messages(doc, "c_1").size(), 2u) << "messages stay";
  EXPECT_EQ(chan("c_voice").category, "cat_b");
}

TEST_F(ApplyTest, ReorderChannelSwapsWithItsNeighbour) {
  struct Case {
    const char* id;
    bool up;
    std::vector<std::int64_t> orders_after;  // c_1, c_2, c_3
  };
  const Case cases[] = {
      {"c_1", true, {0, 1, 2}},   // first: nothing
      {"c_3", false, {0, 1, 2}},  // last: nothing
      {"c_2", true, {1, 0, 2}},  {"c_2", false, {0, 2, 1}},
      {"c_1", false, {1, 0, 2}}, {"c_missing", true, {0, 1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.id) + (c.up ? " up" : " down"));
    doc = crdt::Document();
    SetUp();
    const bool moves = c.orders_after != std::vector<std::int64_t>{0, 1, 2};
    EXPECT_EQ(run(ReorderChannel{c.id, c.up}), moves);
    EXPECT_EQ((std::vector<std::int64_t>{chan("c_1").order, chan("c_2").order, chan("c_3").order}),
              c.orders_after);
    EXPECT_EQ(chan("c_free").order, 5);
  }
}

TEST_F(ApplyTest, ReorderChannelUsesTheReadOrderForTies) {
  // c_x and c_y share order 9; key order puts c_x first, so c_y moving up swaps with c_x
  // (nothing changes) and moving c_x down swaps with c_y (nothing changes) - but c_y moving
  // down reaches c_z.
  dn::write_channel(doc, {"c_x", "ws", "cat_b", "x", "", dn::ChannelKind::Text, 9, false});
  dn::write_channel(doc, {"c_y", "ws", "cat_b", "y", "", dn::ChannelKind::Text, 9, false});
  dn::write_channel(doc, {"c_z", "ws", "cat_b", "z", "", dn::ChannelKind::Text, 10, false});
  doc.commit();
  EXPECT_FALSE(run(ReorderChannel{"c_y", true}));
  ASSERT_TRUE(run(ReorderChannel{"c_y", false}));
  EXPECT_EQ(chan("c_y").order, 10);
  EXPECT_EQ(chan("c_z").order, 9);
}

TEST_F(ApplyTest, DeleteChannelRemovesItsKeysButNotThreadDrafts) {
  auto drafts = dn::ensure_map(doc, ObjId::root(), "drafts");
  dn::ensure_text(doc, drafts, "c_1");
  dn::ensure_text(doc, drafts, "c_1::t::m_root");
  doc.commit();
  ASSERT_TRUE(run(DeleteChannel{"c_1"}));
  EXPECT_FALSE(dn::read_channel(doc, "c_1").has_value());
  EXPECT_TRUE(dn::read_messages(doc, "c_1").empty());
  EXPECT_FALSE(doc.get(drafts, "c_1").has_value());
  EXPECT_TRUE(doc.get(drafts, "c_1::t::m_root").has_value());
  ASSERT_TRUE(run(DeleteChannel{"c_voice"}));
  EXPECT_FALSE(member("c_voice", "u_a").has_value());
  EXPECT_FALSE(run(DeleteChannel{"c_voice"}));
}

TEST_F(ApplyTest, CallMembership) {
  ASSERT_TRUE(run(SetCallState{"c_voice", "u_a", false, true, false, false}));
  EXPECT_FALSE(run(JoinCall{"c_voice", "u_a"})) << "an existing member keeps its flags";
  EXPECT_TRUE(dn::bool_or_false(doc, *member("c_voice", "u_a"), "muted"));

  ASSERT_TRUE(run(JoinCall{"c_voice", "u_b"}));
  for (const char* key : {"talking", "muted", "deafened", "audio_only", "sharing"}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(dn::read_bool(doc, *member("c_voice", "u_b"), key), std::optional<bool>(false));
  }

  ASSERT_TRUE(run(SetScreenShare{"c_voice", "u_b", true}));
  EXPECT_FALSE(run(SetScreenShare{"c_voice", "u_b", true}));
  ASSERT_TRUE(run(SetCallState{"c_voice", "u_b", true, false, true, true}));
  EXPECT_TRUE(dn::bool_or_false(doc, *member("c_voice", "u_b"), "sharing")) << "untouched";
  EXPECT_TRUE(dn::bool_or_false(doc, *member("c_voice", "u_b"), "deafened"));
  // Re-asserted even when equal, so it wins over a concurrent write from another replica.
  EXPECT_TRUE(run(SetCallState{"c_voice", "u_b", true, false, true, true}));

  ASSERT_TRUE(run(SetCallTicket{"c_voice", "u_b", "tkt"}));
  EXPECT_FALSE(run(SetCallTicket{"c_voice", "u_b", "tkt"}));
  EXPECT_EQ(dn::str_or_empty(doc, *member("c_voice", "u_b"), "ticket"), "tkt");

  // Created without defaults when missing.
  ASSERT_TRUE(run(SetCallTicket{"c_voice", "u_c", "t2"}));
  EXPECT_FALSE(dn::read_bool(doc, *member("c_voice", "u_c"), "talking").has_value());

  EXPECT_FALSE(run(LeaveCall{"c_voice", "u_nobody"}));
  EXPECT_FALSE(run(LeaveCall{"c_missing", "u_b"}));
  ASSERT_TRUE(run(LeaveCall{"c_voice", "u_b"}));
  EXPECT_FALSE(member("c_voice", "u_b").has_value());
  EXPECT_TRUE(member("c_voice", "u_a").has_value());
}

TEST_F(ApplyTest, SetAgentWorkWritesDifferencesAndSaysOnlyIntoEmptyText) {
  dn::AgentWork work;
  work.state.value = dn::AgentWorkState::Done{"fixed it"};
  work.since = 7;
  work.trace = {dn::AgentStep{"s1", 1, "res", "Step", {dn::AgentStepOutcome::Applied{}}}};
  post("c_1", "m_agent", "", std::nullopt);
  doc.commit();

  EXPECT_FALSE(run(SetAgentWork{"c_1", "m_missing", work, std::string("x")}));
  ASSERT_TRUE(run(SetAgentWork{"c_1", "m_agent", work, std::string("Done: fixed it")}));
  EXPECT_FALSE(run(SetAgentWork{"c_1", "m_agent", work, std::string("Done: fixed it")}))
      << "same work, text no longer empty";
  EXPECT_EQ(dn::read_agent_work(doc, message("c_1", "m_agent")), std::optional(work));
  EXPECT_EQ(dn::read_message(doc, message("c_1", "m_agent")).text, "Done: fixed it");

  work.state.value = dn::AgentWorkState::Refused{};
  ASSERT_TRUE(run(SetAgentWork{"c_1", "m_root", work, std::string("ignored")}));
  EXPECT_EQ(dn::read_message(doc, message("c_1", "m_root")).text, "hello");
  EXPECT_EQ(dn::read_agent_work(doc, message("c_1", "m_root")), std::optional(work));
}

TEST_F(ApplyTest, StringsThatAreNotUtf8WriteNothing) {
  const ChatAction cases[] = {
      MarkRead{"c_1", "u_\xff", 3},
      JoinCall{"c_voice", "\xC0\x80"},
      RenameChannel{"c_1", "bad\xED\xA0\x80"},
      CreateCategory{"ws", "cat_\xfe", "x"},
      EditMessage{"c_1", "m_root", "\xF8", 5},
  };
  for (const auto& action : cases) {
    SCOPED_TRACE(action.index());
    EXPECT_FALSE(run(action));
  }
}

}  // namespace
}  // namespace chat::actions
