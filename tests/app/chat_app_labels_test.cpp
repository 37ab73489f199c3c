#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "views/control_label.h"

namespace chat::views {
namespace {

using K = ControlKind;

class ControlLabelTest : public ::testing::Test {
 protected:
  ControlLabelTest() {
    model.workspaces = {{"ws_n", "North", "N", 0, 0}, {"ws_blank", "", "B", 0, 1}};
    model.categories = {{"cat_a", "ws_n", "Engineering", 0, false},
                        {"cat_b", "ws_n", "Old", 1, true}};
    document::Channel design;
    design.id = "c_design";
    design.workspace = "ws_n";
    design.name = "design";
    design.unread = 3;
    document::Channel voice;
    voice.id = "c_voice";
    voice.workspace = "ws_n";
    voice.name = "Standup";
    voice.voice = true;
    document::Channel orphan;
    orphan.id = "c_orphan";
    orphan.workspace = "ws_gone";
    orphan.name = "orphan";
    document::Channel archived;
    archived.id = "c_arch";
    archived.workspace = "ws_n";
    archived.name = "old";
    archived.archived = true;
    archived.unread = 40;
    model.channels = {design, voice, orphan, archived};
    document::Message msg;
    msg.id = "m_1";
    msg.channel = "c_design";
    msg.reactions = {{"🎉", {"u_other", "u_alias"}}, {"👍", {"u_other"}}};
    model.messages = {msg};
    state.local = {"u_me", "Me", "ME", 0};
    state.selection.context_workspace = "ws_n";
    state.selection.current_channel = "c_design";
  }

  std::string label(ControlKind kind, std::string a = {}, std::string b = {}) const {
    return control_label(ControlId::of(kind, std::move(a), std::move(b)), state, model);
  }

  document::ReadModel model;
  ViewState state;
};

TEST_F(ControlLabelTest, ChannelLabelsFollowInboxModeAndUnread) {
  struct Case {
    bool inbox;
    ControlKind kind;
    std::string channel;
    std::string want;
  };
  const std::vector<Case> cases = {
      {true, K::Channel, "c_design", "# design, from North, 3 unread"},
      {false, K::Channel, "c_design", "# design, 3 unread"},
      {false, K::VoiceChannel, "c_voice", "\U0001F50A Standup"},
      {true, K::VoiceChannel, "c_voice", "\U0001F50A Standup, from North"},
      {true, K::Channel, "c_orphan", "# orphan, from Zarn workspace"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    state.inbox_mode = c.inbox;
    EXPECT_EQ(label(c.kind, c.channel), c.want);
  }
}

TEST_F(ControlLabelTest, InboxCountsUnreadOfLiveChannelsOnly) {
  EXPECT_EQ(label(K::Inbox), "Inbox, 3 unread");
  model.channels[0].unread = 0;
  EXPECT_EQ(label(K::Inbox), "Inbox");
}

TEST_F(ControlLabelTest, CurrentContextNamesTheWorkspace) {
  EXPECT_EQ(label(K::CurrentContext), "North channels, current workspace");
  state.selection.context_workspace = "ws_blank";
  EXPECT_EQ(label(K::CurrentContext), "Current workspace");
}

TEST_F(ControlLabelTest, TogglesReportTheirStateInLabelAndFlag) {
  EXPECT_EQ(label(K::CategoryToggle, "cat_a"), "Collapse Engineering");
  EXPECT_EQ(label(K::CategoryToggle, "cat_b"), "Expand Old");
  EXPECT_EQ(label(K::CategoryToggle, "cat_missing"), "Collapse category");
  EXPECT_TRUE(control_flag(ControlId::of(K::CategoryToggle, "cat_a"), state, model));
  EXPECT_FALSE(control_flag(ControlId::of(K::CategoryToggle, "cat_b"), state, model));

  // Another id that counts as the local user reacted with 🎉.
  EXPECT_EQ(label(K::Reaction, "m_1", "🎉"), "Add 🎉 reaction");
  state.self_ids = {"u_alias"};
  EXPECT_EQ(label(K::Reaction, "m_1", "🎉"), "Remove 🎉 reaction");
  EXPECT_TRUE(control_flag(ControlId::of(K::Reaction, "m_1", "🎉"), state, model));
  EXPECT_FALSE(control_flag(ControlId::of(K::Reaction, "m_1", "👍"), state, model));

  state.inbox_mode = false;
  EXPECT_TRUE(control_flag(ControlId::of(K::Channel, "c_design"), state, model));
  EXPECT_FALSE(control_flag(ControlId::of(K::Channel, "c_voice"), state, model));
  EXPECT_TRUE(control_flag(ControlId::of(K::CurrentContext), state, model));
  state.call.muted = true;
  EXPECT_TRUE(control_flag(ControlId::of(K::CallMute), state, model));
}

TEST_F(ControlLabelTest, PayloadLabels) {
  EXPECT_EQ(label(K::AttachPick, "/var/workspace/shots/grid.png"), "Attach grid.png");
  EXPECT_EQ(label(K::AttachPick, "/"), "Attach /");
  EXPECT_EQ(label(K::EmojiChoice, "🚀"), "Choose 🚀");
}

TEST_F(ControlLabelTest, ControlsWithoutNodes) {
  const std::vector<HitRegion> regions = {
      {{0, 0, 100, 100}, ControlId::of(K::Dismiss)},
      {{10, 10, 20, 20}, ControlId::of(K::MessageMenu, "m_1")},
      {{10, 10, 20, 20}, ControlId::of(K::CallDragHandle)},
      {{10, 10, 90, 40}, ControlId::of(K::Send)},
      {{0, 0, 10, 10}, ControlId::of(K::FocusMain)},
  };
  EXPECT_EQ(string_id(regions[0].id), "chat.control:Dismiss");
  state.layout.main_composer = {14, 700, 900, 780};
  state.main_composer.set_text("draft");

  const auto controls = focusable_controls(regions, state, model);
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(controls[0].node.id, "chat.send");
  EXPECT_EQ(controls[0].node.label, "Send message");
  EXPECT_EQ(controls[0].node.role, zarn_ui::AccessRole::Button);
  EXPECT_EQ(controls[0].node.rect, (zarn_ui::Rect{10, 10, 90, 40}));
  // The composer node spans the whole composer, not the region it registered.
  EXPECT_EQ(controls[1].node.id, "chat.composer");
  EXPECT_EQ(controls[1].node.role, zarn_ui::AccessRole::TextArea);
  EXPECT_EQ(controls[1].node.rect, state.layout.main_composer);
  EXPECT_EQ(controls[1].node.value, "draft");
}

}  // namespace
}  // namespace chat::views
