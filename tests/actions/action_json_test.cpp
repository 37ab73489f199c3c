#include "actions/action_json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "actions/dispatch.h"

namespace chat::actions {
namespace {

using document::AgentReasoning;
using document::AgentRoute;
using document::AgentStep;
using document::AgentStepOutcome;
using document::AgentWork;
using document::AgentWorkState;

const std::string kBlob(64, 'a');

AgentWork sample_work() {
  AgentWork w;
  w.state.value = AgentWorkState::Doing{"read the logs", "the crash"};
  w.since = 1782471840;
  w.reasoning = AgentReasoning{AgentRoute::Floor, "cheap"};
  w.trace = {AgentStep{"s1", 1, "chat.channel:c_x", "Looked", {AgentStepOutcome::Applied{}}},
             AgentStep{"", 0, "r", "l", {AgentStepOutcome::Refused{"no access"}}}};
  return w;
}

// One value of every variant, each with non-default fields so a dropped field shows.
std::vector<ChatAction> every_action() {
  SendMessage full{"c_general",
                   "m_1",
                   "u_me",
                   -7,
                   "héllo @bo",
                   std::string("m_root"),
                   Attachment{VideoAttachment{"clip.mp4", kBlob, 0, 720, 99}},
                   {Mention{"u_bo", 6, 3, true}},
                   ResourceRef{"chat.channel", "c_x", "#x", Span{1, 4, SpanUnit::Bytes}}};
  return {
      full,
      EditMessage{"c", "m", "new text", 12},
      DeleteMessage{"c", "m"},
      AddReaction{"c", "m", "👍", "u"},
      RemoveReaction{"c", "m", "🎉", "u2"},
      PinMessage{"c", "m", true},
      CreateChannel{"ws", "cat", "c_new", "ops", ChannelKind::Voice},
      CreateCategory{"ws", "cat_1", "Team"},
      RenameCategory{"cat_1", "Squad"},
      DeleteCategory{"cat_1"},
      SetCategoryCollapsed{"cat_1", true},
      ReorderChannel{"c", true},
      RenameChannel{"c", "general-2"},
      DeleteChannel{"c"},
      ArchiveChannel{"c", true},
      MarkRead{"c", "u", -3},
      SetAgentWork{"c", "m", sample_work(), std::string("on it")},
      JoinCall{"c_huddle", "u"},
      LeaveCall{"c_huddle", "u"},
      SetCallState{"c_huddle", "u", true, false, true, true},
      SetScreenShare{"c_huddle", "u", true},
      SetCallTicket{"c_huddle", "u", "ticket-text"},
  };
}

std::vector<ChatOperation> every_operation() {
  return {OpenWorkspace{"ws"},       OpenChannel{"ws", "c"},
          OpenCategory{"ws", "cat"}, RevealMessage{"ws", "c", "m", std::string("m_root")},
          OpenPerson{"u"},           ImportAttachment{"c", "/tmp/a b.pdf"}};
}

TEST(ChatActionJson, EveryVariantRoundTripsInDeclarationOrder) {
  const auto actions = every_action();
  ASSERT_EQ(actions.size(), std::variant_size_v<ChatAction>);
  for (std::size_t i = 0; i < actions.size(); ++i) {
    const auto& action = actions[i];
    SCOPED_TRACE(std::string(variant_name(action)));
    EXPECT_EQ(action.index(), i);
    const auto encoded = encode_chat_action(action);
    EXPECT_EQ(encoded.type_name, "chat.action");
    auto decoded = decode_chat_action(encoded.json);
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_EQ(*decoded, action);
    // Canonical: encoding the decoded value gives the same bytes.
    EXPECT_EQ(to_json_text(*decoded), encoded.json);
  }
}

TEST(ChatActionJson, EveryOperationRoundTrips) {
  for (const auto& op : every_operation()) {
    SCOPED_TRACE(std::string(variant_name(op)));
    const auto encoded = encode_chat_operation(op);
    EXPECT_EQ(encoded.type_name, "chat.operation");
    auto decoded = decode_chat_operation(encoded.json);
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_EQ(*decoded, op);
  }
  auto none =
      decode_chat_operation(R"({"RevealMessage":{"workspace":"w","channel":"c","message":"m"}})");
  ASSERT_TRUE(none.has_value()) << none.error();
  EXPECT_EQ(to_json_text(*none),
            R"({"RevealMessage":{"workspace":"w","channel":"c","message":"m","parent":null}})");
}

TEST(ChatActionJson, GoldenTexts) {
  struct Case {
    ChatAction action;
    std::string json;
  };
  const Case cases[] = {
      {SendMessage{"c_general", "m_1", "u_me", 1782471840, "hi", {}, {}, {}, {}},
       R"({"SendMessage":{"channel":"c_general","id":"m_1","author":"u_me","ts":1782471840,"text":"hi","parent":null,"attachment":null,"mentions":[],"reference":null}})"},
      {every_action()[0],
       R"({"SendMessage":{"channel":"c_general","id":"m_1","author":"u_me","ts":-7,"text":"héllo @bo","parent":"m_root","attachment":{"Video":{"name":"clip.mp4","blob":")" +
           kBlob +
           R"(","w":0,"h":720,"size":99}},"mentions":[{"user":"u_bo","start":6,"len":3,"is_agent":true}],"reference":{"kind":"chat.channel","id":"c_x","label":"#x","span":{"start":1,"end":4,"unit":"Bytes"}}}})"},
      {SendMessage{"c",
                   "m",
                   "u",
                   0,
                   "",
                   {},
                   Attachment{ImageAttachment{"a.png", "b", 3, 4}},
                   {},
                   ResourceRef{"k", "i", "l", {}}},
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"","parent":null,"attachment":{"Image":{"name":"a.png","blob":"b","w":3,"h":4}},"mentions":[],"reference":{"kind":"k","id":"i","label":"l","span":null}}})"},
      {SendMessage{"c", "m", "u", 0, "", {}, Attachment{FileAttachment{"r.pdf", "b", 5}}, {}, {}},
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"","parent":null,"attachment":{"File":{"name":"r.pdf","blob":"b","size":5}},"mentions":[],"reference":null}})"},
      {SetAgentWork{"c", "m", sample_work(), {}},
       R"({"SetAgentWork":{"channel":"c","msg":"m","work":{"state":{"state":"doing","did":"read the logs","about":"the crash"},"since":1782471840,"reasoning":{"route":"floor","why":"cheap"},"trace":[{"id":"s1","sequence":1,"resource":"chat.channel:c_x","label":"Looked","outcome":{"outcome":"applied"}},{"resource":"r","label":"l","outcome":{"outcome":"refused","why":"no access"}}]},"say":null}})"},
      {SetAgentWork{"c", "m", AgentWork{{AgentWorkState::Taken{}}, 0, {}, {}}, std::string("ok")},
       R"({"SetAgentWork":{"channel":"c","msg":"m","work":{"state":{"state":"taken"},"since":0},"say":"ok"}})"},
      {CreateChannel{"ws", "", "c_1", "news", ChannelKind::Text},
       R"({"CreateChannel":{"workspace":"ws","category":"","id":"c_1","name":"news","kind":"Text"}})"},
      {SetCallState{"c", "u", false, true, false, true},
       R"({"SetCallState":{"channel":"c","user":"u","talking":false,"muted":true,"deafened":false,"audio_only":true}})"},
      {MarkRead{"c", "u", 3}, R"({"MarkRead":{"channel":"c","user":"u","count":3}})"},
      {PinMessage{"c", "m", false}, R"({"PinMessage":{"channel":"c","msg":"m","pinned":false}})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(to_json_text(c.action), c.json);
    auto back = decode_chat_action(c.json);
    ASSERT_TRUE(back.has_value()) << back.error();
    EXPECT_EQ(*back, c.action);
  }
}

TEST(ChatActionJson, ReaderIsLenientWhereAllowed) {
  struct Case {
    const char* json;
    ChatAction want;
  };
  const Case cases[] = {
      // Optional fields absent, list absent.
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t"}})",
       SendMessage{"c", "m", "u", 1, "t", {}, {}, {}, {}}},
      // Any order, extra keys ignored at every level.
      {R"({"SendMessage":{"text":"t","x":[1,{"y":2}],"ts":1,"author":"u","id":"m","channel":"c","mentions":[{"is_agent":false,"len":1,"start":0,"user":"v","z":null}]}})",
       SendMessage{"c", "m", "u", 1, "t", {}, {}, {Mention{"v", 0, 1, false}}, {}}},
      {R"({"DeleteCategory":{"id":"cat","extra":1}})", DeleteCategory{"cat"}},
      // Signed fields accept negative numbers.
      {R"({"MarkRead":{"channel":"c","user":"u","count":-9223372036854775808}})",
       MarkRead{"c", "u", std::numeric_limits<std::int64_t>::min()}},
      {R"({"EditMessage":{"channel":"c","id":"m","text":"","ts":-1}})",
       EditMessage{"c", "m", "", -1}},
      {R"({"SetAgentWork":{"channel":"c","msg":"m","work":{"since":2,"state":{"state":"waiting","app":"mail"}}}})",
       SetAgentWork{"c", "m", AgentWork{{AgentWorkState::Waiting{"mail"}}, 2, {}, {}}, {}}},
      {R"( {"JoinCall" : {"user":"u","channel":"c"}} )", JoinCall{"c", "u"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    auto got = decode_chat_action(c.json);
    ASSERT_TRUE(got.has_value()) << got.error();
    EXPECT_EQ(*got, c.want);
  }
}

TEST(ChatActionJson, ReaderRejectsWithANamedReason) {
  struct Case {
    std::string json;
    const char* message_part;  // part of the reader's message that locates the fault
  };
  const Case cases[] = {
      {R"({"DeleteCategory":{}})", "DeleteCategory.id: missing"},
      {R"({"DeleteCategory":{"id":"a"},"RenameCategory":{"id":"a","name":"b"}})", "exactly one"},
      {R"({})", "exactly one"},
      {R"({"DeleteCategory":{"id":"a","id":"b"}})", "duplicate key \"id\""},
      {R"({"DeleteCategory":{"id":"a"},"DeleteCategory":{"id":"a"}})", "duplicate key"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","attachment":{"Image":{"name":"n","blob":"b","w":1,"w":2,"h":1}}}})",
       "duplicate key \"w\""},
      {R"({"SetAgentWork":{"channel":"c","msg":"m","work":{"state":{"state":"taken","state":"done"},"since":1}}})",
       "duplicate key"},
      {R"({"Nope":{}})", "unknown variant \"Nope\""},
      {R"({"sendMessage":{}})", "unknown variant"},
      {R"("DeleteCategory")", "ChatAction"},
      {R"(null)", "ChatAction"},
      {R"([{"DeleteCategory":{"id":"a"}}])", "ChatAction"},
      {R"({"DeleteCategory":"a"})", "DeleteCategory"},
      {R"({"CreateChannel":{"workspace":"w","category":"","id":"c","name":"n","kind":"text"}})",
       "CreateChannel.kind: unknown variant \"text\""},
      {R"({"CreateChannel":{"workspace":"w","category":"","id":"c","name":"n","kind":0}})",
       "CreateChannel.kind"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","attachment":{"Image":{"name":"n","blob":"b","w":-1,"h":1}}}})",
       "attachment.Image.w"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","attachment":{"Image":{"name":"n","blob":"b","w":4294967296,"h":1}}}})",
       "attachment.Image.w"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","attachment":{"File":{"name":"n","blob":"b","size":-1}}}})",
       "attachment.File.size"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","attachment":{"File":{"name":"n","blob":"b","size":18446744073709551616}}}})",
       "attachment.File.size"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","attachment":{"Gif":{}}}})",
       "unknown variant \"Gif\""},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","mentions":[{"user":"v","start":-1,"len":1,"is_agent":false}]}})",
       "mentions[0].start"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","mentions":[{"user":"v","start":0,"len":-2,"is_agent":false}]}})",
       "mentions[0].len"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","mentions":null}})",
       "mentions"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","reference":{"kind":"k","id":"i","label":"l","span":{"start":0,"end":-1,"unit":"Chars"}}}})",
       "reference.span.end"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","reference":{"kind":"k","id":"i","label":"l","span":{"start":0,"end":1,"unit":"chars"}}}})",
       "reference.span.unit"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","reference":{"kind":"k","id":"i"}}})",
       "reference.label: missing"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1.5,"text":"t"}})",
       "SendMessage.ts"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":9223372036854775808,"text":"t"}})",
       "SendMessage.ts"},
      {R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t","parent":5}})",
       "SendMessage.parent"},
      {R"({"MarkRead":{"channel":"c","user":"u","count":"5"}})", "MarkRead.count"},
      {R"({"SetCallState":{"channel":"c","user":"u","talking":true,"muted":false,"deafened":false}})",
       "SetCallState.audio_only: missing"},
      {R"({"SetCallState":{"channel":"c","user":"u","talking":1,"muted":false,"deafened":false,"audio_only":false}})",
       "SetCallState.talking"},
      {R"({"SetAgentWork":{"channel":"c","msg":"m"}})", "SetAgentWork.work: missing"},
      {R"({"SetAgentWork":{"channel":"c","msg":"m","work":{"state":{"state":"sleeping"},"since":1}}})",
       "SetAgentWork.work"},
      {R"({"SetAgentWork":{"channel":"c","msg":"m","work":{"state":{"state":"taken"}}}})",
       "SetAgentWork.work"},
      {R"({"DeleteCategory":{"id":"a"})", ""},
      {"{\"DeleteCategory\":{\"id\":\"\xff\"}}", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    auto got = decode_chat_action(c.json);
    ASSERT_FALSE(got.has_value());
    EXPECT_FALSE(got.error().empty());
    EXPECT_NE(got.error().find(c.message_part), std::string::npos) << got.error();
  }
}

TEST(ChatActionJson, ObjectModelKeepsFieldOrderAndNamesTheAction) {
  const Json j = to_json_value(ChatAction{SetCallState{"c", "u", true, false, true, false}});
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j.begin().key(), "SetCallState");
  std::vector<std::string> keys;
  for (auto it = j.begin().value().begin(); it != j.begin().value().end(); ++it) {
    keys.push_back(it.key());
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"channel", "user", "talking", "muted", "deafened",
                                            "audio_only"}));

  struct Case {
    ChatAction action;
    const char* name;
  };
  const Case names[] = {{SendMessage{}, "Send message"},
                        {SetCategoryCollapsed{}, "Set category collapsed"},
                        {SetAgentWork{}, "Set agent work"},
                        {MarkRead{}, "Mark read"}};
  for (const auto& c : names) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(action_name(c.action), c.name);
  }
}

TEST(ChatActionJson, InvalidUtf8IsReplacedNotFatal) {
  const ChatAction bad = RenameChannel{"c", std::string("na\xffme")};
  const std::string text = to_json_text(bad);
  auto back = decode_chat_action(text);
  ASSERT_TRUE(back.has_value()) << back.error();
  EXPECT_EQ(std::get<RenameChannel>(*back).name, "na\xEF\xBF\xBDme");
}

TEST(ChatActionJson, ResourceRefTextRoundTrips) {
  const ResourceRef ref{"chat.message", "m_1", "Ann: hi", Span{0, 2, SpanUnit::Chars}};
  EXPECT_EQ(
      to_json_text(ref),
      R"({"kind":"chat.message","id":"m_1","label":"Ann: hi","span":{"start":0,"end":2,"unit":"Chars"}})");
  auto back = decode_resource_ref(to_json_text(ref));
  ASSERT_TRUE(back.has_value()) << back.error();
  EXPECT_EQ(*back, ref);
}

}  // namespace
}  // namespace chat::actions
