#include "actions/dispatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/action_json.h"
#include "actions/typed_action.h"
#include "document/entities.h"
#include "document/messages.h"
#include "document/seed.h"

namespace chat::actions {
namespace {

namespace dn = chat::document;

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dn::write_demo_content(doc);
    doc.commit();
    state.warn = [this](std::string_view line) { warnings.emplace_back(line); };
  }

  crdt::Document doc;
  DispatchState state;
  std::vector<std::string> warnings;
};

TEST_F(DispatchTest, EachAppliedActionIsOneChangeAndANoOpIsNone) {
  const SendMessage send{"c_general", "m_dispatch_1", "u_me", 5, "hello", {}, {}, {}, {}};
  // Repeating each of these changes nothing (a send finds its id, a delete finds nothing, ...).
  const ChatAction actions[] = {
      send,
      AddReaction{"c_general", "m_dispatch_1", "👍", "u_me"},
      EditMessage{"c_general", "m_dispatch_1", "hello there", 6},
      MarkRead{"c_general", "u_me", 1},
      SetScreenShare{"c_huddle", "u_me", true},
      DeleteMessage{"c_general", "m_dispatch_1"},
      DeleteCategory{"cat_acme_main"},
  };
  for (const auto& action : actions) {
    SCOPED_TRACE(to_json_text(action));
    const auto before = doc.change_count();
    auto result = dispatch_chat_action(state, doc, action);
    ASSERT_TRUE(result.has_value()) << result.error().display_text();
    EXPECT_TRUE(result.value().change.has_value());
    EXPECT_EQ(doc.change_count(), before + 1);
    EXPECT_EQ(doc.pending_ops(), 0u);

    auto again = dispatch_chat_action(state, doc, action);
    ASSERT_TRUE(again.has_value());
    EXPECT_FALSE(again.value().change.has_value());
    EXPECT_EQ(doc.change_count(), before + 1);
  }
  EXPECT_TRUE(warnings.empty());
}

TEST_F(DispatchTest, ReplicatedChangesCarryTheActionToAPeer) {
  crdt::Document peer = doc.fork();
  const SendMessage send{"c_general", "m_to_peer", "u_me", 5, "over the wire", {}, {}, {}, {}};
  state.identity = zarn_actions::ActorIdentity{"u_me", "Me"};
  ASSERT_TRUE(dispatch_chat_action(state, doc, send).has_value());

  auto sent = state.transport.drain();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].action, encode_chat_action(send));
  EXPECT_EQ(sent[0].actor, doc.actor_bytes());
  EXPECT_EQ(sent[0].heads, doc.heads());
  ASSERT_TRUE(peer.apply_changes(sent[0].changes).has_value());
  EXPECT_EQ(peer.heads(), doc.heads());
  auto m = dn::find_message(peer, "c_general", "m_to_peer");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(dn::read_message(peer, *m).text, "over the wire");

  // The change records who did what to which resource.
  const auto changes = doc.changes();
  const auto& last = changes.back();
  auto ctx = dn::parse_strict_json(last.message);
  ASSERT_TRUE(ctx.has_value()) << last.message;
  EXPECT_EQ((*ctx)["app_id"], "dev.zarn.chat.actions");
  EXPECT_EQ((*ctx)["app_name"], "Chat");
  EXPECT_EQ((*ctx)["action_name"], "Send message");
  EXPECT_EQ((*ctx)["label"], "Send message");
  EXPECT_EQ((*ctx)["target"]["address"], "chat.message:m_to_peer");
  EXPECT_EQ((*ctx)["target"]["display_name"], "Message");
  EXPECT_EQ((*ctx)["actor"]["id"], "u_me");
  EXPECT_EQ(sent[0].context_json, last.message);
}

TEST_F(DispatchTest, FailureIsLoggedWithTheActionAndChangesNothing) {
  state.registry.insert(
      "chat.action",
      [](std::string_view) -> zarn::Result<std::unique_ptr<zarn_actions::TypedAction>> {
        return zarn::make_error("refused for the test");
      });
  const auto heads = doc.heads();
  const ChatAction action = PinMessage{"c_general", "m_concept", true};
  auto result = dispatch_chat_action(state, doc, action);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().type_name, "chat.action");
  EXPECT_EQ(doc.heads(), heads);
  EXPECT_EQ(doc.pending_ops(), 0u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("action dispatch failed"), std::string::npos);
  EXPECT_NE(warnings[0].find("refused for the test"), std::string::npos);
  EXPECT_NE(warnings[0].find(to_json_text(action)), std::string::npos);
}

TEST_F(DispatchTest, MalformedEncodedActionNamesTheKindAndTheReaderMessage) {
  const auto heads = doc.heads();
  const ChatTypedAction typed(ChatAction{PinMessage{"c_general", "m_concept", true}});
  const zarn_actions::EncodedAction bad{"chat.action", R"({"PinMessage":{"channel":"c"}})"};
  auto result = zarn_actions::executor::dispatch_by(state.registry, doc, typed, bad,
                                                    state.transport, doc.actor_bytes());
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind, zarn_actions::ActionErrorKind::Decode);
  const std::string text = result.error().display_text();
  EXPECT_NE(text.find("chat.action"), std::string::npos) << text;
  EXPECT_NE(text.find("PinMessage.msg: missing required field"), std::string::npos) << text;
  EXPECT_EQ(doc.heads(), heads);
  EXPECT_EQ(state.transport.queued(), 0u);
}

TEST(DispatchContext, LabelsAndTargetsFollowTheAction) {
  struct Case {
    ChatAction action;
    const char* label;
    const char* target;
    const char* display;
  };
  const Case cases[] = {
      {SendMessage{"c", "m_1", "u", 0, "", {}, {}, {}, {}}, "Send message", "chat.message:m_1",
       "Message"},
      {EditMessage{"c", "m_2", "", 0}, "Edit message", "chat.message:m_2", "Message"},
      {DeleteMessage{"c", "m_3"}, "Delete message", "chat.message:m_3", "Message"},
      {AddReaction{"c", "m", "x", "u"}, "Add reaction", "chat.message:m", "Message"},
      {RemoveReaction{"c", "m", "x", "u"}, "Remove reaction", "chat.message:m", "Message"},
      {PinMessage{"c", "m", true}, "Pin message", "chat.message:m", "Message"},
      {PinMessage{"c", "m", false}, "Unpin message", "chat.message:m", "Message"},
      {CreateChannel{"w", "", "c_9", "n", ChannelKind::Text}, "Create channel", "chat.channel:c_9",
       "c_9"},
      {CreateCategory{"w", "cat_9", "n"}, "Create category", "chat.category:cat_9", "cat_9"},
      {RenameCategory{"cat", "n"}, "Rename category", "chat.category:cat", "cat"},
      {DeleteCategory{"cat"}, "Delete category", "chat.category:cat", "cat"},
      {SetCategoryCollapsed{"cat", true}, "Collapse category", "chat.category:cat", "cat"},
      {SetCategoryCollapsed{"cat", false}, "Expand category", "chat.category:cat", "cat"},
      {ReorderChannel{"c", true}, "Move channel up", "chat.channel:c", "c"},
      {ReorderChannel{"c", false}, "Move channel down", "chat.channel:c", "c"},
      {RenameChannel{"c", "n"}, "Rename channel", "chat.channel:c", "c"},
      {DeleteChannel{"c"}, "Delete channel", "chat.channel:c", "c"},
      {ArchiveChannel{"c", true}, "Archive channel", "chat.channel:c", "c"},
      {ArchiveChannel{"c", false}, "Unarchive channel", "chat.channel:c", "c"},
      {MarkRead{"c", "u", 1}, "Mark channel read", "chat.channel:c", "c"},
      {SetAgentWork{"c", "m", {}, {}}, "Update agent work", "chat.message:m", "Message"},
      {JoinCall{"v", "u"}, "Join call", "chat.call:v", "v"},
      {LeaveCall{"v", "u"}, "Leave call", "chat.call:v", "v"},
      {SetCallState{"v", "u", false, false, false, false}, "Update call state", "chat.call:v", "v"},
      {SetScreenShare{"v", "u", true}, "Start presenting", "chat.call:v", "v"},
      {SetScreenShare{"v", "u", false}, "Stop presenting", "chat.call:v", "v"},
      {SetCallTicket{"v", "u", "t"}, "Update call connection", "chat.call:v", "v"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto ctx = dispatch_context(c.action, std::nullopt);
    EXPECT_EQ(ctx.label, c.label);
    ASSERT_TRUE(ctx.target.has_value());
    EXPECT_EQ(ctx.target->address, c.target);
    EXPECT_EQ(ctx.target->display_name, c.display);
    EXPECT_EQ(ctx.action_name, zarn_actions::context::humanize_identifier(variant_name(c.action)));
    EXPECT_FALSE(ctx.actor.has_value());
  }
  const auto enriched =
      dispatch_context(JoinCall{"v", "u"}, zarn_actions::ActorIdentity{"u_me", "Me"});
  EXPECT_EQ(enriched.actor, (zarn_actions::ActorIdentity{"u_me", "Me"}));
}

TEST(ChatTypedActionTest, DecoderIsRegisteredAndAnswersNoOperation) {
  zarn_actions::ActionRegistry registry;
  register_chat_action(registry);
  const auto* decoder = registry.find("chat.action");
  ASSERT_NE(decoder, nullptr);
  auto typed = (*decoder)(R"({"JoinCall":{"channel":"v","user":"u"}})");
  ASSERT_TRUE(typed.has_value()) << typed.error();
  EXPECT_FALSE((*typed)->operation().has_value());
  EXPECT_EQ((*typed)->debug_text(), R"(JoinCall {"JoinCall":{"channel":"v","user":"u"}})");
  auto bad = (*decoder)("{");
  EXPECT_FALSE(bad.has_value());
}

}  // namespace
}  // namespace chat::actions
