#include "app/chat_app.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "actions/action_json.h"
#include "actions/typed_action.h"
#include "app/chat_app_fixture.h"
#include "document/entities.h"
#include "document/messages.h"
#include "document/upkeep.h"
#include "platform/crdt/document.h"
#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/text_renderer.h"

namespace chat::app {
namespace {

using views::ControlId;
using K = views::ControlKind;
using zarn_ui::Key;

TEST_F(ChatAppTest, FirstSyncSeedsAndSelectsTheDemonstrationConversation) {
  EXPECT_TRUE(document::is_seeded(doc));
  EXPECT_EQ(app.view().selection.selected_workspace, "ws_acme");
  EXPECT_EQ(app.view().selection.current_channel, "c_crit");
  EXPECT_FALSE(app.model().messages.empty());
  EXPECT_TRUE(app.view().main_composer.is_focused());
  EXPECT_EQ(app.view().main_composer.placeholder(), "Message #design-crit");
}

TEST_F(ChatAppTest, SelectingAChannelMarksItReadAndSwitchesWorkspace) {
  ASSERT_NE(channel("c_general"), nullptr);
  EXPECT_EQ(channel("c_general")->unread, 1u);
  app.view().selection.open_thread = "m_concept";
  app.view().thread_focus = true;
  app.view().follow_latest = false;

  activate(ControlId::of(K::Channel, "c_general"));
  const auto& v = app.view();
  EXPECT_EQ(v.selection.current_channel, "c_general");
  EXPECT_FALSE(v.selection.open_thread);
  EXPECT_FALSE(v.thread_focus);
  EXPECT_TRUE(v.follow_latest);
  EXPECT_EQ(channel("c_general")->unread, 0u);
  EXPECT_EQ(document::read_mark(doc, "u_me", "c_general"), 1);
  EXPECT_NE(last_action().find("MarkRead"), std::string::npos);

  // Selecting it again writes no second mark.
  const auto dispatched = host.dispatched.size();
  activate(ControlId::of(K::Channel, "c_general"));
  EXPECT_EQ(host.dispatched.size(), dispatched);

  // A channel of another workspace selects that workspace; the sidebar context stays.
  activate(ControlId::of(K::Channel, "c_kernel"));
  EXPECT_EQ(app.view().selection.selected_workspace, "ws_zarn");
  EXPECT_EQ(app.view().selection.context_workspace, "ws_acme");
  EXPECT_EQ(app.view().selection.current_channel, "c_kernel");
}

TEST_F(ChatAppTest, InboxAndCurrentContext) {
  app.view().selection.open_thread = "m_concept";
  app.view().thread_focus = true;
  activate(ControlId::of(K::Inbox));
  EXPECT_TRUE(app.view().inbox_mode);
  EXPECT_FALSE(app.view().selection.open_thread);
  EXPECT_FALSE(app.view().thread_focus);

  // The sidebar shows Zarn Core while Acme Design is selected: the context wins.
  app.view().selection.context_workspace = "ws_zarn";
  activate(ControlId::of(K::CurrentContext));
  EXPECT_FALSE(app.view().inbox_mode);
  EXPECT_EQ(app.view().selection.selected_workspace, "ws_zarn");
  EXPECT_EQ(app.view().selection.current_channel, "c_kernel");
}

TEST_F(ChatAppTest, VoiceChannelJoinsItsCall) {
  activate(ControlId::of(K::Channel, "c_standup"));
  EXPECT_TRUE(app.view().call.in_call);
  EXPECT_EQ(app.view().call.channel, "c_standup");
  EXPECT_EQ(app.view().selection.current_channel, "c_crit");  // a call is not a conversation
  const auto members = document::read_call_members(doc, "c_standup");
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].user, "u_me");
  EXPECT_TRUE(members[0].talking);

  // Joining another call leaves the first.
  activate(ControlId::of(K::VoiceChannel, "c_huddle"));
  EXPECT_TRUE(document::read_call_members(doc, "c_standup").empty());
  activate(ControlId::of(K::CallLeave));
  EXPECT_FALSE(app.view().call.in_call);
  EXPECT_TRUE(app.take_surface_changed());
}

TEST_F(ChatAppTest, CategoryToggleFlipsTheStoredState) {
  activate(ControlId::of(K::CategoryToggle, "cat_acme_main"));
  EXPECT_TRUE(document::read_category(doc, "cat_acme_main")->collapsed);
  activate(ControlId::of(K::CategoryToggle, "cat_acme_main"));
  EXPECT_FALSE(document::read_category(doc, "cat_acme_main")->collapsed);
}

TEST_F(ChatAppTest, AddChannelStartsARenameThatEnterCommits) {
  const auto before = document::read_channels(doc).size();
  activate(ControlId::of(K::AddChannel, "ws_acme", "cat_acme_main"));
  const auto channels = document::read_channels(doc);
  ASSERT_EQ(channels.size(), before + 1);
  ASSERT_TRUE(app.view().rename);
  const std::string id = app.view().rename->id;
  auto created = document::read_channel(doc, id);
  ASSERT_TRUE(created);
  EXPECT_EQ(created->name, "new-channel");
  EXPECT_EQ(created->category, "cat_acme_main");
  EXPECT_EQ(app.view().rename_input.text(), "new-channel");
  EXPECT_TRUE(app.view().rename_input.is_focused());
  EXPECT_FALSE(app.view().main_composer.is_focused());

  // Typing goes to the rename field, never to the composer's draft.
  key(Key::A, {.ctrl = true});
  type("  ops-room ");
  key(Key::Enter);
  EXPECT_EQ(document::read_channel(doc, id)->name, "ops-room");
  EXPECT_FALSE(app.view().rename);
  EXPECT_TRUE(app.view().main_composer.is_focused());
  EXPECT_EQ(document::read_draft(doc, document::draft_key("c_crit")), "");
}

TEST_F(ChatAppTest, AddCategoryRenameCancelledByEscape) {
  activate(ControlId::of(K::AddCategory, "ws_acme"));
  ASSERT_TRUE(app.view().rename);
  EXPECT_EQ(app.view().rename->kind, views::RenameTarget::Kind::Category);
  const std::string id = app.view().rename->id;
  type("x");
  key(Key::Escape);
  EXPECT_FALSE(app.view().rename);
  EXPECT_EQ(app.view().rename_input.text(), "");
  EXPECT_EQ(document::read_category(doc, id)->name, "New Category");
}

TEST_F(ChatAppTest, ReactionTogglesTheLocalUsersReaction) {
  auto users_of = [&](const std::string& emoji) {
    for (const auto& m : app.model().messages) {
      if (m.id != "m_open") continue;
      for (const auto& g : m.reactions) {
        if (g.emoji == emoji) return g.users;
      }
    }
    return std::vector<std::string>{};
  };
  const std::string party = "\U0001F389";
  ASSERT_EQ(users_of(party), (std::vector<std::string>{"u_me", "u_owen"}));
  activate(ControlId::of(K::Reaction, "m_open", party));
  EXPECT_EQ(users_of(party), (std::vector<std::string>{"u_owen"}));
  activate(ControlId::of(K::Reaction, "m_open", party));
  EXPECT_EQ(users_of(party).size(), 2u);

  // Without write permission nothing is dispatched.
  presence.permissions = zarn_ui::PermissionContext::read_only();
  draw();
  const auto dispatched = host.dispatched.size();
  activate(ControlId::of(K::Reaction, "m_open", party));
  EXPECT_EQ(host.dispatched.size(), dispatched);
}

TEST_F(ChatAppTest, ThreadOpensWithTheRightFlapAndClosesOnSecondActivation) {
  activate(ControlId::of(K::OpenThread, "m_concept"));
  EXPECT_EQ(app.view().selection.open_thread, "m_concept");
  EXPECT_TRUE(app.view().thread_focus);
  EXPECT_TRUE(app.view().layout.right.target());
  EXPECT_TRUE(app.view().thread_composer.is_focused());
  EXPECT_FALSE(app.view().main_composer.is_focused());
  activate(ControlId::of(K::OpenThread, "m_concept"));
  EXPECT_FALSE(app.view().selection.open_thread);
  EXPECT_FALSE(app.view().thread_focus);
  EXPECT_TRUE(app.view().main_composer.is_focused());
}

TEST_F(ChatAppTest, EscapeClosesOnlyTheTopmostSurface) {
  activate(ControlId::of(K::OpenThread, "m_concept"));
  activate(ControlId::of(K::AddReaction, "m_open"));
  ASSERT_TRUE(app.view().picker.open);
  key(Key::Escape);
  EXPECT_FALSE(app.view().picker.open);
  EXPECT_EQ(app.view().selection.open_thread, "m_concept");
  key(Key::Escape);
  EXPECT_FALSE(app.view().selection.open_thread);
}

TEST_F(ChatAppTest, DismissClosesPopoversThenHeldFlaps) {
  activate(ControlId::of(K::AddReaction, "m_open"));
  activate(ControlId::of(K::EditHistory, "m_nina"));
  ASSERT_TRUE(app.view().picker.open);
  ASSERT_TRUE(app.view().history.open);
  activate(ControlId::of(K::Dismiss));
  EXPECT_FALSE(app.view().picker.open);
  EXPECT_TRUE(app.view().history.open);
  activate(ControlId::of(K::Dismiss));
  EXPECT_FALSE(app.view().history.open);

  // A compact window with the right pane toggled open: Dismiss hides it again.
  draw(900);
  ASSERT_TRUE(app.view().layout.flags.compact);
  ASSERT_FALSE(app.view().layout.right.target());
  activate(ControlId::of(K::ToggleRightFlap));
  EXPECT_TRUE(app.view().layout.right.target());
  activate(ControlId::of(K::Dismiss));
  EXPECT_FALSE(app.view().layout.right.target());
}

TEST_F(ChatAppTest, FlapTogglesFlipTheirTarget) {
  draw(1280);
  ASSERT_TRUE(app.view().layout.left.target());
  activate(ControlId::of(K::ToggleLeftFlap));
  EXPECT_FALSE(app.view().layout.left.target());
  activate(ControlId::of(K::ToggleLeftFlap));
  EXPECT_TRUE(app.view().layout.left.target());
  activate(ControlId::of(K::ToggleRightFlap));
  EXPECT_TRUE(app.view().layout.right.target());
}

TEST_F(ChatAppTest, WheelScrollsFortyFourPixelsPerLine) {
  send(zarn_ui::WheelEvent{0, -1, zarn_ui::WheelUnit::Lines, {}, {}});
  EXPECT_EQ(app.view().scroll_offset, 0);
  EXPECT_TRUE(app.view().follow_latest);  // towards newer keeps following

  send(zarn_ui::WheelEvent{0, 1, zarn_ui::WheelUnit::Lines, {}, {}});
  EXPECT_DOUBLE_EQ(app.view().scroll_offset, 44);
  EXPECT_FALSE(app.view().follow_latest);

  host.scale = 2;
  send(zarn_ui::WheelEvent{0, 30, zarn_ui::WheelUnit::Pixels, {}, {}});
  EXPECT_DOUBLE_EQ(app.view().scroll_offset, 59);
  send(zarn_ui::WheelEvent{0, -10, zarn_ui::WheelUnit::Lines, {}, {}});
  EXPECT_DOUBLE_EQ(app.view().scroll_offset, 0);

  send(zarn_ui::WheelEvent{0, 2, zarn_ui::WheelUnit::Lines, {}, {}});
  activate(ControlId::of(K::JumpToLatest));
  EXPECT_EQ(app.view().scroll_offset, 0);
  EXPECT_TRUE(app.view().follow_latest);
  send(zarn_ui::WheelEvent{0, 2, zarn_ui::WheelUnit::Lines, {}, {}});
  key(Key::End, {.ctrl = true});
  EXPECT_EQ(app.view().scroll_offset, 0);
  EXPECT_TRUE(app.view().follow_latest);
}

TEST_F(ChatAppTest, TypingSplicesTheDraftAndEnterSendsItAsTyped) {
  type("  hi @lena marsh ");
  EXPECT_EQ(document::read_draft(doc, document::draft_key("c_crit")), "  hi @lena marsh ");
  key(Key::Enter);
  const auto& messages = app.model().messages;
  ASSERT_FALSE(messages.empty());
  const auto& sent = messages.back();
  EXPECT_EQ(sent.text, "  hi @lena marsh ");
  EXPECT_EQ(sent.author, "u_me");
  EXPECT_FALSE(sent.parent);
  ASSERT_EQ(sent.mentions.size(), 1u);
  EXPECT_EQ(sent.mentions[0].user, "u_lena");
  EXPECT_EQ(sent.mentions[0].start, 5u);
  EXPECT_EQ(sent.mentions[0].len, 11u);
  EXPECT_EQ(document::read_draft(doc, document::draft_key("c_crit")), "");
  EXPECT_EQ(app.view().main_composer.text(), "");
}

TEST_F(ChatAppTest, BlankDraftSendsNothingAndThreadRepliesGoToTheThread) {
  const auto count = app.model().messages.size();
  type("   ");
  key(Key::Enter);
  EXPECT_EQ(app.model().messages.size(), count);

  activate(ControlId::of(K::OpenThread, "m_concept"));
  type("reply");
  EXPECT_EQ(document::read_draft(doc, document::thread_draft_key("c_crit", "m_concept")), "reply");
  activate(ControlId::of(K::Send));
  ASSERT_EQ(app.model().messages.size(), count + 1);
  EXPECT_EQ(app.model().messages.back().parent, "m_concept");
  // The main draft was left alone.
  EXPECT_EQ(document::read_draft(doc, document::draft_key("c_crit")), "   ");
}

TEST_F(ChatAppTest, ArrowUpEditsTheNewestOwnMessageOnlyFromAnEmptyComposer) {
  key(Key::Up);
  ASSERT_EQ(app.view().editing_message, "m_me2");
  EXPECT_TRUE(app.view().edit_input.is_focused());
  EXPECT_EQ(app.view().edit_input.cursor_pos(), app.view().edit_input.text().size());

  // An empty edit only leaves edit mode.
  key(Key::A, {.ctrl = true});
  key(Key::Backspace);
  key(Key::Enter);
  EXPECT_FALSE(app.view().editing_message);
  for (const auto& m : app.model().messages) {
    if (m.id == "m_me2") {
      EXPECT_FALSE(m.text.empty());
    }
  }

  key(Key::Up);
  type(" Moving it to 3pm.");
  activate(ControlId::of(K::EditSave));
  for (const auto& m : app.model().messages) {
    if (m.id == "m_me2") {
      EXPECT_TRUE(m.text.ends_with("jump in. Moving it to 3pm."));
      EXPECT_TRUE(m.edited);
    }
  }
  EXPECT_EQ(document::read_draft(doc, document::draft_key("c_crit")), "");

  type("ab");
  key(Key::Up);
  EXPECT_FALSE(app.view().editing_message);
}

TEST_F(ChatAppTest, SelectionRepairAfterDeletions) {
  activate(ControlId::of(K::OpenThread, "m_concept"));
  // The thread's root is deleted by someone else.
  ASSERT_TRUE(
      host.dispatch(actions::encode_chat_action(actions::DeleteMessage{"c_crit", "m_concept"})));
  sync();
  EXPECT_FALSE(app.view().selection.open_thread);
  EXPECT_FALSE(app.view().thread_focus);

  // Archive general, then delete the current channel: the lowest-order live text channel wins.
  ASSERT_TRUE(
      host.dispatch(actions::encode_chat_action(actions::ArchiveChannel{"c_general", true})));
  ASSERT_TRUE(host.dispatch(actions::encode_chat_action(actions::DeleteChannel{"c_crit"})));
  sync();
  EXPECT_EQ(app.view().selection.current_channel, "c_frontend");
}

TEST_F(ChatAppTest, PresenceNamesTheLocalUser) {
  presence.self_user_id = "u_remote";
  presence.self_display_name = "Kai Park";
  presence.roster = {{"u_kai", "  Kai  ", zarn_ui::PresenceState::Online, std::nullopt},
                     {"u_blank", "   ", zarn_ui::PresenceState::Online, std::nullopt}};
  draw();
  draw();
  const auto& v = app.view();
  EXPECT_EQ(v.local.id, "u_remote");
  EXPECT_EQ(v.local.color_idx, zarn_ui::presence::fnv1a64("u_remote") % 8);
  EXPECT_EQ(v.self_ids, (std::vector<std::string>{"u_remote"}));
  EXPECT_EQ(v.local.name, "Kai Park");
  EXPECT_EQ(v.local.initials, "KP");
  ASSERT_EQ(v.roster.size(), 1u);
  EXPECT_EQ(v.roster.at("u_kai").name, "Kai");
}

TEST_F(ChatAppTest, AccessibilityTreeHasControlsMessagesAndHeading) {
  draw();
  const auto root = app.accessibility();
  EXPECT_EQ(root.label, "Chat");
  EXPECT_EQ(root.description, "Channels in the current Zarn workspace");
  const auto* list = root.find("message-list");
  ASSERT_NE(list, nullptr);
  const auto top_level = std::count_if(app.model().messages.begin(), app.model().messages.end(),
                                       [](const auto& m) { return !m.parent; });
  ASSERT_EQ(static_cast<long>(list->children.size()), top_level);
  EXPECT_EQ(list->children.front().tag, "message");
  EXPECT_TRUE(list->children.front().label.starts_with("Lena Marsh: Morning!"));
  const auto* heading = root.find("conversation-heading");
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->label, "# design-crit");
  EXPECT_EQ(root.find("chat.control:Dismiss"), nullptr);
  // Every region with a node appears once, in paint order, before the message list.
  std::size_t with_node = 0;
  for (const auto& r : app.regions()) {
    if (views::control_role(r.id.kind)) ++with_node;
  }
  EXPECT_EQ(root.children.size(), with_node + 2);

  activate(ControlId::of(K::Inbox));
  EXPECT_EQ(app.accessibility().description, "Inbox: conversations across Zarn workspaces");
}

// ---- Tests that need the views' regions.

TEST_F(ChatAppTest, SwipeOnAChannelRowDeletesSelectsOrDoesNothing) {
  draw();
  const views::HitRegion* row = region(K::Channel, "c_random");
  ASSERT_NE(row, nullptr) << "the sidebar registers channel rows";
  const zarn_ui::Point start{row->rect.x1 - 10, row->rect.center().y};

  press(start);
  move({start.x - 87, start.y});
  release({start.x - 87, start.y});
  EXPECT_TRUE(document::read_channel(doc, "c_random"));
  EXPECT_EQ(app.view().selection.current_channel, "c_crit");

  press(start);
  move({start.x - 5, start.y});
  release({start.x - 5, start.y});
  EXPECT_EQ(app.view().selection.current_channel, "c_random");

  draw();
  row = region(K::Channel, "c_random");
  ASSERT_NE(row, nullptr);
  const zarn_ui::Point again{row->rect.x1 - 10, row->rect.center().y};
  press(again);
  move({again.x - 88, again.y});
  release({again.x - 88, again.y});
  EXPECT_FALSE(document::read_channel(doc, "c_random"));
  EXPECT_NE(app.view().selection.current_channel, "c_random");

  // Like the channel menu's Delete, a swipe needs the write permission.
  presence.permissions = zarn_ui::PermissionContext::read_only();
  draw();
  row = region(K::Channel, "c_frontend");
  ASSERT_NE(row, nullptr);
  const zarn_ui::Point third{row->rect.x1 - 10, row->rect.center().y};
  press(third);
  move({third.x - 120, third.y});
  release({third.x - 120, third.y});
  EXPECT_TRUE(document::read_channel(doc, "c_frontend"));
}

TEST_F(ChatAppTest, TabWalksTheFocusableControlsAndWraps) {
  draw();
  const auto root = app.accessibility();
  const auto n = root.children.size() - 2;  // minus the message list and the heading
  ASSERT_GE(n, 2u);
  key(Key::Tab);
  EXPECT_EQ(app.view().focus_index, 0u);
  key(Key::Tab, {.shift = true});
  EXPECT_EQ(app.view().focus_index, n - 1);
  key(Key::Tab);
  EXPECT_EQ(app.view().focus_index, 0u);
  EXPECT_TRUE(app.focus_synthetic_accessibility(n - 1));
  EXPECT_FALSE(app.focus_synthetic_accessibility(n));
  EXPECT_EQ(app.synthetic_accessibility_rect(0), root.children[0].rect);
  EXPECT_FALSE(app.synthetic_accessibility_rect(n));
}

TEST_F(ChatAppTest, SemanticSendSendsTheActiveComposer) {
  draw();
  ASSERT_NE(region(K::Send), nullptr) << "the composer registers its send button";
  EXPECT_TRUE(app.perform_semantic_action(
      "chat.composer", {zarn_ui::SemanticActionKind::SetValue, "from automation"}));
  EXPECT_TRUE(app.perform_semantic_action("chat.send", {}));
  EXPECT_FALSE(app.perform_semantic_action("chat.no-such-control", {}));
  EXPECT_FALSE(app.perform_semantic_action("chat.control:Dismiss", {}));
  sync();
  ASSERT_FALSE(app.model().messages.empty());
  EXPECT_EQ(app.model().messages.back().text, "from automation");
  EXPECT_EQ(document::read_draft(doc, document::draft_key("c_crit")), "");
}

TEST_F(ChatAppTest, PressOnAControlActivatesIt) {
  draw();
  const views::HitRegion* toggle = region(K::CategoryToggle, "cat_acme_main");
  ASSERT_NE(toggle, nullptr);
  press(toggle->rect.center());
  release(toggle->rect.center());
  EXPECT_TRUE(document::read_category(doc, "cat_acme_main")->collapsed);
}

}  // namespace
}  // namespace chat::app
