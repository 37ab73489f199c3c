// Composers and drafts across replicas, the emoji picker's targets, editing and the view-only
// composer.
#include <gtest/gtest.h>

#include <string>

#include "app/chat_app_fixture.h"
#include "document/entities.h"
#include "document/messages.h"

namespace chat::app {
namespace {

using views::ControlId;
using K = views::ControlKind;
using zarn_ui::Key;

const std::string kMainDraft = document::draft_key("c_crit");

class ChatAppComposeTest : public ChatAppTest {
 protected:
  const document::Message* message(std::string_view id) const {
    for (const auto& m : app.model().messages) {
      if (m.id == id) return &m;
    }
    return nullptr;
  }
};

TEST_F(ChatAppComposeTest, DraftsTravelWithTheDocument) {
  type("hello");
  ASSERT_EQ(document::read_draft(doc, kMainDraft), "hello");

  // A second window on the same document shows the draft in its composer.
  {
    zarn_ui::BasicHost other_host;
    other_host.doc = &doc;
    other_host.registry = &registry;
    ChatApp other;
    zarn_ui::FrameCtx ctx(other_host);
    other.sync(ctx);
    ASSERT_EQ(other.view().selection.current_channel, "c_crit");
    EXPECT_EQ(other.view().main_composer.text(), "hello");
  }

  // A peer appends to the draft; once merged, the next keystroke keeps the peer's words.
  auto peer = crdt::Document::load(doc.save());
  ASSERT_TRUE(peer);
  ASSERT_TRUE(document::set_draft(*peer, kMainDraft, "hello world"));
  peer->commit();
  ASSERT_TRUE(doc.merge(*peer));
  sync();
  EXPECT_EQ(app.view().main_composer.text(), "hello world");
  key(Key::End);
  type("!");
  EXPECT_EQ(document::read_draft(doc, kMainDraft), "hello world!");
  EXPECT_EQ(app.view().main_composer.text(), "hello world!");

  // Sending clears the draft everywhere it is read.
  key(Key::Enter);
  EXPECT_EQ(message(app.model().messages.back().id)->text, "hello world!");
  EXPECT_EQ(document::read_draft(doc, kMainDraft), "");
}

TEST_F(ChatAppComposeTest, ShiftEnterAndEmojiGoThroughTheDraft) {
  type("a");
  key(Key::Enter, {.shift = true});
  type("b");
  EXPECT_EQ(document::read_draft(doc, kMainDraft), "a\nb");

  activate(ControlId::of(K::ComposerEmoji));
  ASSERT_TRUE(app.view().picker.open);
  EXPECT_FALSE(app.view().picker.message);
  activate(ControlId::of(K::EmojiChoice, "\xF0\x9F\x8E\x89"));
  EXPECT_FALSE(app.view().picker.open);
  EXPECT_EQ(document::read_draft(doc, kMainDraft), "a\nb\xF0\x9F\x8E\x89");

  // Opened for a message, a choice toggles the local user's reaction instead.
  activate(ControlId::of(K::AddReaction, "m_open"));
  ASSERT_EQ(app.view().picker.message, "m_open");
  activate(ControlId::of(K::EmojiChoice, "\xF0\x9F\xA7\xA9"));
  const document::Message* m = message("m_open");
  ASSERT_NE(m, nullptr);
  bool reacted = false;
  for (const auto& group : m->reactions) {
    if (group.emoji == "\xF0\x9F\xA7\xA9") reacted = group.users == std::vector<std::string>{"u_me"};
  }
  EXPECT_TRUE(reacted);
  EXPECT_EQ(document::read_draft(doc, kMainDraft), "a\nb\xF0\x9F\x8E\x89");
}

TEST_F(ChatAppComposeTest, PickerTakesPressesOnItsCellsAndKeepsOpenOnItsBackground) {
  draw();
  const views::HitRegion* button = region(K::ComposerEmoji);
  ASSERT_NE(button, nullptr);
  press(button->rect.center());
  release(button->rect.center());
  ASSERT_TRUE(app.view().picker.open);
  draw();
  ASSERT_EQ(app.view().layout.popover_cards.size(), 1u);
  const zarn_ui::Rect card = app.view().layout.popover_cards[0];
  EXPECT_GE(card.x0, 8);
  EXPECT_LE(card.y1, 800 - 8);

  // The title's row is card background: the picker stays open.
  press({card.x0 + 200, card.y0 + 18});
  release({card.x0 + 200, card.y0 + 18});
  EXPECT_TRUE(app.view().picker.open);

  const views::HitRegion* cell = region(K::EmojiChoice, "\xF0\x9F\x9A\x80");
  ASSERT_NE(cell, nullptr);
  press(cell->rect.center());
  release(cell->rect.center());
  EXPECT_FALSE(app.view().picker.open);
  EXPECT_EQ(document::read_draft(doc, kMainDraft), "\xF0\x9F\x9A\x80");

  // Outside the card a press dismisses it.
  activate(ControlId::of(K::ComposerEmoji));
  draw();
  press({card.x0 - 40, card.y0 + 10});
  release({card.x0 - 40, card.y0 + 10});
  EXPECT_FALSE(app.view().picker.open);
}

TEST_F(ChatAppComposeTest, EditingSavesCancelsAndNeverTouchesDrafts) {
  const std::string original = message("m_me2")->text;
  key(Key::Up);  // empty composer: edit the newest own message
  ASSERT_EQ(app.view().editing_message, "m_me2");
  EXPECT_EQ(app.view().edit_input.text(), original);
  EXPECT_TRUE(app.view().edit_input.is_focused());
  type(" (moved)");
  EXPECT_EQ(document::read_draft(doc, kMainDraft), "");
  key(Key::Enter);
  EXPECT_FALSE(app.view().editing_message);
  EXPECT_EQ(message("m_me2")->text, original + " (moved)");

  // An empty edit changes nothing and only leaves edit mode.
  key(Key::Up);
  ASSERT_EQ(app.view().editing_message, "m_me2");
  send(zarn_ui::KeyEvent{Key::A, zarn_ui::KeyState::Pressed, {.ctrl = true}, false});
  key(Key::Backspace);
  activate(ControlId::of(K::EditSave));
  EXPECT_FALSE(app.view().editing_message);
  EXPECT_EQ(message("m_me2")->text, original + " (moved)");

  // Another person's message cannot be edited, even when asked to.
  const ControlId others = ControlId::of(K::MessageMenu, "m_open");
  app.open_context_menu(&others, {300, 300});
  ASSERT_TRUE(app.perform_semantic_action("context-menu:item:0", {}));
  sync();
  EXPECT_FALSE(app.view().editing_message);
}

TEST_F(ChatAppComposeTest, ViewOnlyComposerTakesNoInput) {
  presence.permissions = zarn_ui::PermissionContext::read_only();
  draw();
  EXPECT_EQ(region(K::Send), nullptr);
  EXPECT_EQ(region(K::Attach), nullptr);
  const auto count = app.model().messages.size();
  type("hi");
  key(Key::Enter);
  EXPECT_EQ(document::read_draft(doc, kMainDraft), "");
  EXPECT_EQ(app.model().messages.size(), count);
  activate(ControlId::of(K::ComposerEmoji));
  EXPECT_FALSE(app.view().picker.open);
  key(Key::Up);
  EXPECT_FALSE(app.view().editing_message);
}

}  // namespace
}  // namespace chat::app
