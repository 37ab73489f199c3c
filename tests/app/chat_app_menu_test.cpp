// Context menus: which menu a right press opens, carrying out each item, the write-permission
// rule and how an open menu takes events first.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/chat_app_fixture.h"
#include "document/entities.h"
#include "document/messages.h"

namespace chat::app {
namespace {

using views::ControlId;
using K = views::ControlKind;
using Items = std::vector<std::string>;

const Items kChannelItems{"Delete", "Archive / unarchive", "Rename", "Move up", "Move down"};
const Items kCategoryItems{"New text channel", "New voice channel", "Rename", "Collapse / expand",
                           "Delete"};
const Items kMessageItems{"Edit message", "Pin / unpin", "Delete message"};
const Items kWorkspaceItems{"New category"};

class ChatAppMenuTest : public ChatAppTest {
 protected:
  void right_press(zarn_ui::Point p) {
    send(zarn_ui::ButtonEvent{zarn_ui::MouseButton::Right, zarn_ui::ButtonState::Pressed, p, 1, {}});
  }
  Items labels() const {
    Items out;
    if (!app.context_menu().is_open()) return out;
    for (const auto& item : app.context_menu().items()) out.push_back(item.label);
    return out;
  }
  void open_on(const ControlId& id) {
    draw();
    const views::HitRegion* r = region(id.kind, id.a);
    ASSERT_NE(r, nullptr) << views::string_id(id);
    right_press(r->rect.center());
  }
  // Chooses an item with a left press on its row, the way a person does.
  void choose(std::string_view label) {
    const auto& items = app.context_menu().items();
    const auto it = std::find_if(items.begin(), items.end(),
                                 [&](const auto& i) { return i.label == label; });
    ASSERT_NE(it, items.end()) << label;
    const auto row = app.context_menu().item_rect(static_cast<std::size_t>(it - items.begin()));
    press(row.center());
    release(row.center());
  }
  const document::Message* message(std::string_view id) const {
    for (const auto& m : app.model().messages) {
      if (m.id == id) return &m;
    }
    return nullptr;
  }
};

TEST_F(ChatAppMenuTest, RightPressOpensTheMenuOfTheRegionUnderThePointer) {
  struct Case {
    ControlId region;
    Items items;
  };
  const std::vector<Case> cases{
      {ControlId::of(K::Channel, "c_frontend"), kChannelItems},
      {ControlId::of(K::VoiceChannel, "c_huddle"), kChannelItems},
      {ControlId::of(K::CategoryToggle, "cat_acme_main"), kCategoryItems},
      // The category's "+" carries the workspace first and the category second.
      {ControlId::of(K::AddChannel, "ws_acme"), kCategoryItems},
      {ControlId::of(K::MessageMenu, "m_me2"), kMessageItems},
      {ControlId::of(K::Send), kWorkspaceItems},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(views::string_id(c.region));
    open_on(c.region);
    EXPECT_EQ(labels(), c.items);
    // Opening replaces whatever menu was open; Escape closes it.
    key(zarn_ui::Key::Escape);
    EXPECT_FALSE(app.context_menu().is_open());
  }

  // Only the local user's messages register a message region, so another person's message
  // lies under the workspace menu.
  draw();
  for (const auto& r : app.regions()) {
    if (r.id.kind != K::MessageMenu) continue;
    const document::Message* m = message(r.id.a);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->author, "u_me") << r.id.a;
  }
  right_press({-50, -50});
  EXPECT_EQ(labels(), kWorkspaceItems);
}

TEST_F(ChatAppMenuTest, MenuOpensAtThePointerInsideTheBounds) {
  draw();
  right_press({1270, 790});
  ASSERT_TRUE(app.context_menu().is_open());
  const auto r = app.context_menu().popup_rect();
  EXPECT_DOUBLE_EQ(r.width(), 220);
  EXPECT_LE(r.x1, 1280);
  EXPECT_LE(r.y1, 800);
  EXPECT_DOUBLE_EQ(app.context_menu().item_rect(0).height(), 44);
}

TEST_F(ChatAppMenuTest, ChannelItems) {
  // Delete on the current channel: the next text channel by order becomes current.
  open_on(ControlId::of(K::Channel, "c_crit"));
  choose("Delete");
  EXPECT_FALSE(app.context_menu().is_open());
  EXPECT_EQ(channel("c_crit"), nullptr);
  EXPECT_EQ(app.view().selection.current_channel, "c_general");

  // Archive the current channel: it stops being current.
  open_on(ControlId::of(K::Channel, "c_general"));
  choose("Archive / unarchive");
  ASSERT_NE(channel("c_general"), nullptr);
  EXPECT_TRUE(channel("c_general")->archived);
  EXPECT_EQ(app.view().selection.current_channel, "c_frontend");

  // Unarchiving the current channel keeps it current.
  activate(ControlId::of(K::Channel, "c_general"));
  ASSERT_EQ(app.view().selection.current_channel, "c_general");
  const ControlId archived = ControlId::of(K::Channel, "c_general");
  app.open_context_menu(&archived, {300, 300});
  choose("Archive / unarchive");
  EXPECT_FALSE(channel("c_general")->archived);
  EXPECT_EQ(app.view().selection.current_channel, "c_general");

  open_on(ControlId::of(K::Channel, "c_random"));
  choose("Move up");
  EXPECT_EQ(host.dispatched.back().json, R"({"ReorderChannel":{"id":"c_random","up":true}})");
  open_on(ControlId::of(K::Channel, "c_random"));
  choose("Move down");
  EXPECT_EQ(host.dispatched.back().json, R"({"ReorderChannel":{"id":"c_random","up":false}})");

  open_on(ControlId::of(K::Channel, "c_random"));
  choose("Rename");
  ASSERT_TRUE(app.view().rename);
  EXPECT_EQ(app.view().rename->id, "c_random");
  EXPECT_EQ(app.view().rename_input.text(), "random");
}

TEST_F(ChatAppMenuTest, CategoryItems) {
  const auto channels_before = app.model().channels.size();
  open_on(ControlId::of(K::CategoryToggle, "cat_acme_main"));
  choose("New text channel");
  ASSERT_EQ(app.model().channels.size(), channels_before + 1);
  ASSERT_TRUE(app.view().rename);
  const document::Channel* made = channel(app.view().rename->id);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->name, "new-channel");
  EXPECT_FALSE(made->voice);
  EXPECT_EQ(made->category, "cat_acme_main");
  EXPECT_TRUE(made->id.starts_with("c_"));
  EXPECT_EQ(app.view().rename_input.text(), "new-channel");
  key(zarn_ui::Key::Escape);

  open_on(ControlId::of(K::CategoryToggle, "cat_acme_voice"));
  choose("New voice channel");
  ASSERT_TRUE(app.view().rename);
  made = channel(app.view().rename->id);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->name, "New Voice");
  EXPECT_TRUE(made->voice);
  key(zarn_ui::Key::Escape);

  open_on(ControlId::of(K::CategoryToggle, "cat_acme_voice"));
  choose("Collapse / expand");
  EXPECT_TRUE(document::read_category(doc, "cat_acme_voice")->collapsed);

  open_on(ControlId::of(K::CategoryToggle, "cat_acme_main"));
  choose("Rename");
  ASSERT_TRUE(app.view().rename);
  EXPECT_EQ(app.view().rename_input.text(), "Channels");
  // Renaming to nothing changes nothing.
  send(zarn_ui::KeyEvent{zarn_ui::Key::A, zarn_ui::KeyState::Pressed, {.ctrl = true}, false});
  key(zarn_ui::Key::Backspace);
  key(zarn_ui::Key::Enter);
  EXPECT_FALSE(app.view().rename);
  EXPECT_EQ(document::read_category(doc, "cat_acme_main")->name, "Channels");

  const ControlId gone = ControlId::of(K::CategoryToggle, "cat_acme_voice");
  app.open_context_menu(&gone, {200, 200});
  choose("Delete");
  EXPECT_FALSE(document::read_category(doc, "cat_acme_voice"));
}

TEST_F(ChatAppMenuTest, MessageAndWorkspaceItems) {
  open_on(ControlId::of(K::MessageMenu, "m_me2"));
  choose("Pin / unpin");
  EXPECT_EQ(host.dispatched.back().json,
            R"({"PinMessage":{"channel":"c_crit","msg":"m_me2","pinned":true}})");

  open_on(ControlId::of(K::MessageMenu, "m_me2"));
  choose("Edit message");
  EXPECT_EQ(app.view().editing_message, "m_me2");
  EXPECT_EQ(app.view().edit_input.text(), message("m_me2")->text);
  key(zarn_ui::Key::Escape);
  EXPECT_FALSE(app.view().editing_message);

  open_on(ControlId::of(K::MessageMenu, "m_me2"));
  choose("Delete message");
  EXPECT_EQ(message("m_me2"), nullptr);

  const auto categories = app.model().categories.size();
  right_press({-50, -50});
  choose("New category");
  ASSERT_EQ(app.model().categories.size(), categories + 1);
  ASSERT_TRUE(app.view().rename);
  EXPECT_EQ(app.view().rename->kind, views::RenameTarget::Kind::Category);
  EXPECT_EQ(app.view().rename_input.text(), "New Category");
}

TEST_F(ChatAppMenuTest, WithoutWritePermissionAChosenItemOnlyClosesTheMenu) {
  presence.permissions = zarn_ui::PermissionContext::read_only();
  open_on(ControlId::of(K::Channel, "c_frontend"));
  ASSERT_TRUE(app.context_menu().is_open());
  const auto dispatched = host.dispatched.size();
  choose("Delete");
  EXPECT_FALSE(app.context_menu().is_open());
  EXPECT_EQ(host.dispatched.size(), dispatched);
  EXPECT_NE(channel("c_frontend"), nullptr);
}

TEST_F(ChatAppMenuTest, AnOpenMenuTakesEventsFirst) {
  open_on(ControlId::of(K::Channel, "c_frontend"));
  // Typing goes nowhere while the menu is open.
  type("x");
  EXPECT_EQ(app.view().main_composer.text(), "");
  EXPECT_TRUE(app.context_menu().is_open());
  // A left press outside the menu closes it and activates nothing beneath.
  const views::HitRegion* toggle = region(K::CategoryToggle, "cat_acme_main");
  ASSERT_NE(toggle, nullptr);
  press(toggle->rect.center());
  release(toggle->rect.center());
  EXPECT_FALSE(app.context_menu().is_open());
  EXPECT_FALSE(document::read_category(doc, "cat_acme_main")->collapsed);

  // Any activation closes the menu.
  open_on(ControlId::of(K::Channel, "c_frontend"));
  activate(ControlId::of(K::JumpToLatest));
  EXPECT_FALSE(app.context_menu().is_open());

  // The tree shows the open menu; its items answer to accessibility actions.
  open_on(ControlId::of(K::Channel, "c_random"));
  const zarn_ui::AccessNode tree = app.accessibility();
  ASSERT_FALSE(tree.children.empty());
  EXPECT_EQ(tree.children.back().id, "context-menu");
  EXPECT_TRUE(app.perform_semantic_action("context-menu:item:0", {}));
  sync();
  EXPECT_EQ(channel("c_random"), nullptr);
  EXPECT_FALSE(app.perform_semantic_action("context-menu:item:0", {}));
}

}  // namespace
}  // namespace chat::app
