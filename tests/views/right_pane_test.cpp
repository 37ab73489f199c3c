#include "views/right_pane.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "views/people.h"

namespace chat::views {
namespace {

using zarn_ui::Rect;

document::Person person(const char* id, const char* name, bool agent = false) {
  document::Person p;
  p.id = id;
  p.name = name;
  p.agent = agent;
  return p;
}

document::Message message(const char* id, const char* author, const char* text,
                          std::optional<std::string> parent = std::nullopt) {
  document::Message m;
  m.id = id;
  m.author = author;
  m.text = text;
  m.ts = kDayReference;
  m.parent = std::move(parent);
  m.channel = "c_general";
  return m;
}

class RightPane : public ::testing::Test {
 protected:
  static constexpr int kW = 1280;
  static constexpr int kH = 800;

  void SetUp() override {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
    cr_ = cairo_create(surface_);
    state_.local.id = "u_me";
    state_.local.name = "Mira";
    state_.selection.selected_workspace = "ws_acme";
    state_.layout.bounds = {0, 0, kW, kH};
    state_.layout.scale = 1;
    state_.layout.panes.right_pane = {kW - 360, 0, kW, kH};

    document::Workspace ws;
    ws.id = "ws_acme";
    ws.name = "Acme";
    model_.workspaces.push_back(ws);
    document::Channel general;
    general.id = "c_general";
    general.name = "general";
    model_.channels.push_back(general);
    model_.current_channel = "c_general";
    model_.people = {person("u_lena", "Lena"), person("u_me", "Mira")};
    model_.users = model_.people;

    auto root = message("m_root", "u_lena", "Shall we ship on Friday?");
    root.reactions.push_back({"👍", {"u_me", "u_lena"}});
    auto reply = message("m_r1", "u_me", "Yes", "m_root");
    reply.attachment = document::FileAttachment{"plan.pdf", std::string(64, 'a'), 2048};
    auto stranger = message("m_r2", "u_7f3a9c", "", "m_root");
    stranger.attachment = document::ImageAttachment{"x.png", "demo:x", 800, 600};
    model_.messages = {root, reply, stranger, message("m_other", "u_lena", "unrelated")};
  }
  void TearDown() override {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }

  void draw() {
    regions_.clear();
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr_, 0, 0, 0, 0);
    cairo_paint(cr_);
    cairo_restore(cr_);
    zarn_ui::Painter painter(cr_, 1, text_);
    ViewFrame frame{painter, theme_, model_, state_, regions_, nullptr, {}};
    draw_right_pane(frame);
    cairo_surface_flush(surface_);
  }
  std::vector<ControlKind> kinds() const {
    std::vector<ControlKind> out;
    for (const auto& r : regions_) out.push_back(r.id.kind);
    return out;
  }
  const HitRegion* find(ControlKind kind) const {
    for (const auto& r : regions_) {
      if (r.id.kind == kind) return &r;
    }
    return nullptr;
  }
  bool painted_left_of(double x) const {
    const auto* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < kH; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
      for (int px = 0; px < static_cast<int>(x); ++px) {
        if (row[px] != 0) return true;
      }
    }
    return false;
  }

  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  zarn_ui::TextRenderer text_;
  zarn_ui::Theme theme_ = zarn_ui::Theme::dark();
  document::ReadModel model_;
  ViewState state_;
  std::vector<HitRegion> regions_;
};

TEST_F(RightPane, PeopleListRegistersOnlyItsCloseButton) {
  draw();
  ASSERT_EQ(regions_.size(), 1u);
  EXPECT_EQ(regions_[0].id, ControlId::of(ControlKind::ToggleRightFlap));
  EXPECT_EQ(regions_[0].rect, (Rect{kW - 40, 12, kW - 12, 40}));
  EXPECT_TRUE(state_.layout.thread_composer.empty());
  // Docked beside the conversation, the pane paints nothing outside itself.
  EXPECT_FALSE(painted_left_of(kW - 360));
}

TEST_F(RightPane, ThreadRowsRegisterNothingAndTheComposerSitsAtTheBottom) {
  state_.selection.open_thread = "m_root";
  draw();
  EXPECT_EQ(kinds(), (std::vector<ControlKind>{ControlKind::CloseThread, ControlKind::FocusThread,
                                               ControlKind::ComposerEmoji, ControlKind::Send}));
  EXPECT_EQ(regions_[0].rect, (Rect{kW - 8 - 44, 4, kW - 8, 48}));
  const Rect composer = state_.layout.thread_composer;
  EXPECT_EQ(find(ControlKind::FocusThread)->rect, composer);
  EXPECT_DOUBLE_EQ(composer.x0, kW - 360 + 14);
  EXPECT_DOUBLE_EQ(composer.x1, kW - 14);
  EXPECT_DOUBLE_EQ(composer.y1, kH - 12);
  for (auto kind : {ControlKind::ComposerEmoji, ControlKind::Send}) {
    SCOPED_TRACE(kind_name(kind));
    const Rect r = find(kind)->rect;
    EXPECT_GE(r.x0, composer.x0);
    EXPECT_LE(r.x1, composer.x1);
    EXPECT_GE(r.y0, composer.y0);
    EXPECT_LE(r.y1, composer.y1);
  }
  EXPECT_EQ(find(ControlKind::Send)->rect.width(), 44);
  EXPECT_EQ(find(ControlKind::ComposerEmoji)->id.anchor, find(ControlKind::ComposerEmoji)->rect);
  EXPECT_FALSE(painted_left_of(kW - 360));
}

TEST_F(RightPane, CloseThreadIsABackButtonOnlyInCompactLayoutAtSmallScale) {
  state_.selection.open_thread = "m_root";
  state_.layout.flags.compact = true;
  state_.layout.panes.right_pane = {0, 0, kW, kH};
  const struct {
    double scale;
    Rect rect;
  } cases[] = {
      {1.0, Rect::from_xywh(14, 10, 66, 32)},
      {1.25, Rect::from_xywh(14, (52 * 1.25 - 32) / 2, 66, 32)},
      {1.3, Rect::from_xywh(kW - 8 - 52.8, (52 * 1.3 - 52.8) / 2, 52.8, 52.8)},
      {2.0, Rect::from_xywh(kW - 8 - 52.8, (104 - 52.8) / 2, 52.8, 52.8)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scale);
    state_.layout.scale = c.scale;
    draw();
    const auto* close = find(ControlKind::CloseThread);
    ASSERT_NE(close, nullptr);
    EXPECT_NEAR(close->rect.x0, c.rect.x0, 1e-9);
    EXPECT_NEAR(close->rect.y0, c.rect.y0, 1e-9);
    EXPECT_NEAR(close->rect.x1, c.rect.x1, 1e-9);
    EXPECT_NEAR(close->rect.y1, c.rect.y1, 1e-9);
  }
  state_.layout.flags.compact = false;
  state_.layout.scale = 1;
  draw();
  EXPECT_DOUBLE_EQ(find(ControlKind::CloseThread)->rect.width(), 44);
}

TEST_F(RightPane, ViewOnlyThreadHasNoComposerControls) {
  state_.selection.open_thread = "m_root";
  state_.presence.permissions = zarn_ui::PermissionContext::read_only();
  draw();
  EXPECT_EQ(kinds(), std::vector<ControlKind>{ControlKind::CloseThread});
  EXPECT_TRUE(state_.layout.thread_composer.empty());
}

TEST_F(RightPane, LongThreadAndMissingRootStayInsideThePane) {
  state_.selection.open_thread = "m_root";
  for (int i = 0; i < 60; ++i) {
    const std::string id = "m_many" + std::to_string(i);
    model_.messages.push_back(message(id.c_str(), "u_lena", "another reply", "m_root"));
  }
  draw();
  EXPECT_EQ(regions_.size(), 4u);
  EXPECT_FALSE(painted_left_of(kW - 360));

  state_.selection.open_thread = "m_gone";
  draw();
  EXPECT_EQ(regions_.size(), 4u);
}

TEST(RightPaneText, SubtitlesAndCounts) {
  EXPECT_EQ(people_subtitle(1, false, "Acme"), "1 person · Acme");
  EXPECT_EQ(people_subtitle(3, false, "Acme"), "3 people · Acme");
  EXPECT_EQ(people_subtitle(1, true, "Acme"), "1 collaborator · Acme");
  EXPECT_EQ(people_subtitle(0, true, "North"), "0 collaborators · North");
  EXPECT_EQ(presence_label(document::Presence::Dnd), "Do not disturb");
  EXPECT_EQ(presence_label(document::Presence::Idle), "Idle");
}

}  // namespace
}  // namespace chat::views
