#include "document/messages.h"

#include <gtest/gtest.h>

#include "document/access.h"
#include "document/dump.h"
#include "document/entities.h"

namespace chat::document {
namespace {

using crdt::ObjId;

MessageRecord simple(std::string id, std::string text = "hello") {
  MessageRecord m;
  m.id = std::move(id);
  m.author = "u_a";
  m.ts = 100;
  m.text = std::move(text);
  return m;
}

TEST(ReactionGroupingTest, GroupsDeduplicatesAndOrders) {
  using Entries = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* name;
    Entries entries;
    std::vector<ReactionGroup> expected;
  };
  const Case cases[] = {
      {"larger group first",
       {{"👍", "u_a"}, {"🎉", "u_a"}, {"🎉", "u_b"}},
       {{"🎉", {"u_a", "u_b"}}, {"👍", {"u_a"}}}},
      {"same user twice is one reactor",
       {{"🔥", "u_b"}, {"🔥", "u_a"}, {"🔥", "u_b"}},
       {{"🔥", {"u_b", "u_a"}}}},
      {"empty emoji ignored", {{"", "u_a"}, {"", "u_b"}, {"👀", "u_c"}}, {{"👀", {"u_c"}}}},
      {"equal counts by emoji bytes",
       {{"b", "u_a"}, {"a", "u_a"}, {"c", "u_b"}},
       {{"a", {"u_a"}}, {"b", {"u_a"}}, {"c", {"u_b"}}}},
      {"interleaved entries",
       {{"x", "u_1"}, {"y", "u_1"}, {"x", "u_2"}, {"y", "u_2"}, {"y", "u_3"}},
       {{"y", {"u_1", "u_2", "u_3"}}, {"x", {"u_1", "u_2"}}}},
      {"nothing", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(group_reactions(c.entries), c.expected);
  }
}

TEST(MessageWriterTest, FullRecordRoundTrips) {
  crdt::Document doc;
  MessageRecord m = simple("m_full", "hi @bot, see this 🎉");
  m.parent = "m_root";
  m.edited = true;
  m.reactions = {{"🎉", {"u_a", "u_b"}}, {"👍", {"u_c"}}};
  m.mentions = {Mention{"u_bot", 3, 4, true}, Mention{"u_a", 0, 2, false}};
  m.reference = R"({"kind":"chat.channel","id":"c_x","label":"x","span":null})";
  m.history = {HistoryEntry{50, "first"}, HistoryEntry{60, "second"}};
  m.attachment = VideoAttachment{"clip.webm", "abc", 1280, 720, 99};
  AgentWork work;
  work.state.value = AgentWorkState::Done{"merged"};
  work.since = 77;
  work.trace = {AgentStep{"s1", 1, "res", "lbl", {AgentStepOutcome::Applied{}}}};
  m.work = work;

  ASSERT_EQ(write_message(doc, "c_x", m), MessageWrite::Written);
  auto found = find_message(doc, "c_x", "m_full");
  ASSERT_TRUE(found);
  EXPECT_EQ(read_message(doc, *found), m);
  EXPECT_EQ(read_messages(doc, "c_x"), std::vector<MessageRecord>{m});
}

TEST(MessageWriterTest, StoredLayoutHasEveryListAndOnlyThePresentOptionals) {
  crdt::Document doc;
  ASSERT_EQ(write_message(doc, "c_x", simple("m_1")), MessageWrite::Written);
  const Json stored = dump_document(doc)["messages"]["c_x"][0];
  const Json expected = Json::parse(R"({"author":"u_a","edited":false,"history":[],"id":"m_1",
      "mentions":[],"parent":"","reactions":[],"text":"hello","ts":100})");
  EXPECT_EQ(stored, expected);
}

TEST(MessageWriterTest, AttachmentShapesFollowTheirKind) {
  struct Case {
    const char* id;
    Attachment attachment;
    const char* stored;
  };
  const Case cases[] = {
      {"m_img", ImageAttachment{"a.png", "b1", 640, 360},
       R"({"blob":"b1","h":360,"kind":"image","name":"a.png","w":640})"},
      {"m_vid", VideoAttachment{"v.webm", "b2", 0, 0, 10},
       R"({"blob":"b2","h":0,"kind":"video","name":"v.webm","size":10,"w":0})"},
      {"m_file", FileAttachment{"f.md", "b3", 18944},
       R"({"blob":"b3","kind":"file","name":"f.md","size":18944})"},
  };
  crdt::Document doc;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    MessageRecord m = simple(c.id);
    m.attachment = c.attachment;
    ASSERT_EQ(write_message(doc, "c_x", m), MessageWrite::Written);
    auto found = find_message(doc, "c_x", c.id);
    ASSERT_TRUE(found);
    EXPECT_EQ(dump_object(doc, *get_map(doc, *found, "attachment")), Json::parse(c.stored));
    EXPECT_EQ(read_attachment(doc, *found), c.attachment);
  }
}

TEST(MessageWriterTest, UnknownAttachmentKindReadsAsNone) {
  crdt::Document doc;
  ASSERT_EQ(write_message(doc, "c_x", simple("m_1")), MessageWrite::Written);
  const ObjId msg = *find_message(doc, "c_x", "m_1");
  const ObjId att = ensure_map(doc, msg, "attachment");
  put_str(doc, att, "kind", "sticker");
  put_str(doc, att, "name", "x");
  EXPECT_EQ(read_attachment(doc, msg), std::nullopt);
}

TEST(MessageWriterTest, AnIdThatExistsInAnyChannelWritesNothing) {
  crdt::Document doc;
  ASSERT_EQ(write_message(doc, "c_a", simple("m_1", "original")), MessageWrite::Written);
  doc.commit();
  EXPECT_EQ(write_message(doc, "c_a", simple("m_1", "again")), MessageWrite::DuplicateId);
  EXPECT_EQ(write_message(doc, "c_b", simple("m_1", "elsewhere")), MessageWrite::DuplicateId);
  EXPECT_EQ(doc.pending_ops(), 0u);
  EXPECT_TRUE(read_messages(doc, "c_b").empty());
  EXPECT_EQ(read_messages(doc, "c_a").at(0).text, "original");
  EXPECT_TRUE(message_id_exists(doc, "m_1"));
  EXPECT_FALSE(message_id_exists(doc, "m_2"));
}

TEST(MessageWriterTest, InvalidUtf8AnywhereRejectsTheWholeMessage) {
  const std::string bad = "\xC3(";
  std::vector<MessageRecord> cases;
  cases.push_back(simple("m_t", bad));
  cases.push_back(simple("m_a"));
  cases.back().author = bad;
  cases.push_back(simple("m_r"));
  cases.back().reactions = {{"👍", {bad}}};
  cases.push_back(simple("m_h"));
  cases.back().history = {HistoryEntry{1, bad}};
  cases.push_back(simple("m_f"));
  cases.back().attachment = FileAttachment{bad, "b", 1};
  crdt::Document doc;
  for (const MessageRecord& m : cases) {
    SCOPED_TRACE(m.id);
    EXPECT_EQ(write_message(doc, "c_x", m), MessageWrite::InvalidUtf8);
    EXPECT_EQ(doc.pending_ops(), 0u);
  }
}

TEST(ThreadReaderTest, RepliesAreTheSameChannelsMessagesNamingTheRootInListOrder) {
  crdt::Document doc;
  auto reply = [](std::string id, std::string parent) {
    MessageRecord m = simple(std::move(id));
    m.parent = std::move(parent);
    return m;
  };
  ASSERT_EQ(write_message(doc, "c_x", simple("m_root")), MessageWrite::Written);
  ASSERT_EQ(write_message(doc, "c_x", reply("m_r2", "m_root")), MessageWrite::Written);
  ASSERT_EQ(write_message(doc, "c_x", reply("m_orphan", "m_gone")), MessageWrite::Written);
  ASSERT_EQ(write_message(doc, "c_x", reply("m_r1", "m_root")), MessageWrite::Written);
  ASSERT_EQ(write_message(doc, "c_y", reply("m_other", "m_root")), MessageWrite::Written);

  std::vector<std::string> ids;
  for (const auto& m : thread_replies(doc, "c_x", "m_root")) ids.push_back(m.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"m_r2", "m_r1"}));
  // A reply whose root no longer exists is still a reply, never top-level.
  const auto all = read_messages(doc, "c_x");
  EXPECT_EQ(all.at(2).parent, "m_gone");
  EXPECT_EQ(all.at(0).parent, std::nullopt);
  EXPECT_TRUE(thread_replies(doc, "c_x", "").empty());
}

TEST(MessageReaderTest, ToleratesMistypedFields) {
  crdt::Document doc;
  ASSERT_EQ(write_message(doc, "c_x", simple("m_1")), MessageWrite::Written);
  const ObjId msg = *find_message(doc, "c_x", "m_1");
  ASSERT_TRUE(doc.put(msg, "text", crdt::Scalar{std::string("not a text object")}));
  ASSERT_TRUE(doc.put(msg, "reactions", crdt::Scalar{std::int64_t{3}}));
  ASSERT_TRUE(doc.put(msg, "parent", crdt::Scalar{true}));
  ASSERT_TRUE(doc.put(msg, "pinned", crdt::Scalar{std::int64_t{1}}));
  const ObjId mentions = ensure_list(doc, msg, "mentions");
  ASSERT_TRUE(doc.insert(mentions, 0, crdt::Scalar{std::string("stray")}));
  const ObjId mention = append_map(doc, mentions, "mention");
  put_int(doc, mention, "start", -5);

  const MessageRecord r = read_message(doc, msg);
  EXPECT_EQ(r.text, "");
  EXPECT_TRUE(r.reactions.empty());
  EXPECT_EQ(r.parent, std::nullopt);
  EXPECT_FALSE(r.pinned);
  EXPECT_EQ(r.mentions, (std::vector<Mention>{Mention{"", 0, 0, false}}));
}

}  // namespace
}  // namespace chat::document

namespace chat::document {
namespace {

// The cached id index must answer exactly what a full scan answers, including for ids that
// arrive by merge, after a rollback, and for posts made through it.
TEST(MessageIdIndexTest, AgreesWithAFullScanAcrossMergesAndRollbacks) {
  crdt::Document doc;
  MessageIdIndex index;
  EXPECT_FALSE(index.contains(doc, "m_1"));
  EXPECT_EQ(write_message(doc, "c_a", simple("m_1"), index), MessageWrite::Written);
  EXPECT_EQ(write_message(doc, "c_b", simple("m_1"), index), MessageWrite::DuplicateId);
  EXPECT_TRUE(index.contains(doc, "m_1"));
  doc.commit();

  crdt::Document peer = doc.fork();
  ASSERT_EQ(write_message(peer, "c_b", simple("m_peer")), MessageWrite::Written);
  peer.commit();
  EXPECT_FALSE(index.contains(doc, "m_peer"));
  ASSERT_TRUE(doc.merge(peer).has_value());
  EXPECT_TRUE(index.contains(doc, "m_peer"));
  EXPECT_EQ(write_message(doc, "c_a", simple("m_peer"), index), MessageWrite::DuplicateId);

  EXPECT_EQ(write_message(doc, "c_a", simple("m_gone"), index), MessageWrite::Written);
  EXPECT_TRUE(index.contains(doc, "m_gone"));
  doc.rollback();
  EXPECT_FALSE(index.contains(doc, "m_gone"));
  EXPECT_EQ(index.contains(doc, "m_gone"), message_id_exists(doc, "m_gone"));

  for (int i = 0; i < 50; ++i) {
    const std::string id = "m_post" + std::to_string(i);
    ASSERT_EQ(write_message(doc, i % 2 ? "c_a" : "c_b", simple(id), index), MessageWrite::Written);
    ASSERT_EQ(index.contains(doc, id), message_id_exists(doc, id));
  }
  EXPECT_EQ(write_message(doc, "c_a", simple("m_\xff"), index), MessageWrite::InvalidUtf8);
  EXPECT_FALSE(index.contains(doc, "m_\xff"));
}

}  // namespace
}  // namespace chat::document
