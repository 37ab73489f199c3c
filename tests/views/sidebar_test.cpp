#include "views/sidebar.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/text_renderer.h"
#include "platform/zarn_ui/theme.h"

namespace chat::views {
namespace {

using zarn_ui::Rect;

document::Channel channel(std::string id, std::string ws, std::string category, bool voice = false,
                          bool archived = false, std::uint32_t unread = 0) {
  document::Channel c;
  c.id = id;
  c.workspace = std::move(ws);
  c.category = std::move(category);
  c.name = id.substr(2);
  c.voice = voice;
  c.archived = archived;
  c.unread = unread;
  return c;
}

document::Category category(std::string id, std::string ws, std::string name, bool collapsed) {
  return {std::move(id), std::move(ws), std::move(name), 0, collapsed};
}

document::Person person(std::string id, std::string name, bool agent = false) {
  document::Person p;
  p.id = std::move(id);
  p.name = std::move(name);
  p.agent = agent;
  return p;
}

// Paints the left pane into a Cairo image surface and keeps the regions it registered.
class SidebarTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 1280;

  SidebarTest() {
    model.workspaces = {{"ws_a", "Acme", "A", 2, 0}, {"ws_b", "North", "N", 5, 1}};
    model.categories = {category("cat_eng", "ws_a", "Engineering", false),
                        category("cat_old", "ws_a", "Old stuff", true),
                        category("cat_b", "ws_b", "Elsewhere", false)};
    model.channels = {channel("c_general", "ws_a", ""),
                      channel("c_archived", "ws_a", "", false, true),
                      channel("c_design", "ws_a", "cat_eng", false, false, 3),
                      channel("v_standup", "ws_a", "cat_eng", true),
                      channel("c_after", "ws_a", "cat_eng"),
                      channel("c_hidden", "ws_a", "cat_old"),
                      channel("c_orphan", "ws_a", "cat_gone"),
                      channel("c_north", "ws_b", "cat_b", false, false, 7),
                      channel("v_north", "ws_b", "cat_b", true)};
    model.context_workspace = "ws_a";
    model.current_channel = "c_general";
    state.selection.selected_workspace = "ws_a";
    state.selection.context_workspace = "ws_a";
    state.selection.current_channel = "c_general";
    state.local = {"u_me", "Mira", "MI", 1};
    set_height(800);
  }
  ~SidebarTest() override { release(); }

  void set_height(int h) {
    height = h;
    state.layout.bounds = {0, 0, kWidth, static_cast<double>(h)};
  }

  void draw(double x = 0) {
    release();
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, height);
    cr = cairo_create(surface);
    regions.clear();
    zarn_ui::Painter painter(cr, 1, text);
    ViewFrame frame{painter, theme, model, state, regions};
    draw_left_pane(frame, x);
    EXPECT_EQ(painter.depth(), 0);
  }

  std::vector<std::string> ids() const {
    std::vector<std::string> out;
    for (const auto& r : regions) out.push_back(string_id(r.id));
    return out;
  }
  bool has(const std::string& id) const {
    const auto all = ids();
    return std::find(all.begin(), all.end(), id) != all.end();
  }
  const HitRegion* region(const std::string& id) const {
    for (const auto& r : regions) {
      if (string_id(r.id) == id) return &r;
    }
    return nullptr;
  }
  std::vector<const HitRegion*> of_kind(ControlKind kind) const {
    std::vector<const HitRegion*> out;
    for (const auto& r : regions) {
      if (r.id.kind == kind) out.push_back(&r);
    }
    return out;
  }

  // The pixel at (x, y) is `c`, within a small tolerance.
  ::testing::AssertionResult pixel_is(int x, int y, zarn_ui::Color c) const {
    cairo_surface_flush(surface);
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    std::uint32_t v = 0;
    std::memcpy(&v, row + x * 4, 4);
    const int got[3] = {static_cast<int>(v >> 16 & 0xff), static_cast<int>(v >> 8 & 0xff),
                        static_cast<int>(v & 0xff)};
    const int want[3] = {static_cast<int>(c.r * 255 + 0.5), static_cast<int>(c.g * 255 + 0.5),
                         static_cast<int>(c.b * 255 + 0.5)};
    for (int i = 0; i < 3; ++i) {
      if (std::abs(got[i] - want[i]) > 4) {
        return ::testing::AssertionFailure()
               << "(" << x << "," << y << ") is " << got[0] << "," << got[1] << "," << got[2]
               << ", want " << want[0] << "," << want[1] << "," << want[2];
      }
    }
    return ::testing::AssertionSuccess();
  }

  void release() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
    cr = nullptr;
    surface = nullptr;
  }

  zarn_ui::TextRenderer text;
  zarn_ui::Theme theme = zarn_ui::Theme::dark();
  document::ReadModel model;
  ViewState state;
  std::vector<HitRegion> regions;
  int height = 800;
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
};

TEST_F(SidebarTest, WorkspaceModeRegistersEveryListedControlInPaintOrder) {
  draw();
  const std::vector<std::string> expected = {
      "chat.inbox",
      "chat.current-context",
      "chat.add-category:ws_a",
      "chat.channel:c_general",
      "chat.channel:c_orphan",  // its category is gone: listed, not lost
      "chat.category-toggle:cat_eng",
      "chat.add-channel:ws_a:cat_eng",
      "chat.channel:c_design",
      "chat.voice-channel:v_standup",
      "chat.channel:c_after",
      "chat.category-toggle:cat_old",  // collapsed: header only, "+" still there
      "chat.add-channel:ws_a:cat_old",
  };
  EXPECT_EQ(ids(), expected);

  EXPECT_EQ(region("chat.inbox")->rect, Rect::from_xywh(10, 16, 48, 48));
  EXPECT_EQ(region("chat.current-context")->rect, Rect::from_xywh(10, 82, 48, 48));
  const Rect chip = region("chat.add-category:ws_a")->rect;
  EXPECT_GE(chip.width(), 106);
  EXPECT_GE(chip.height(), 22);
  EXPECT_GE(chip.y0, 52 + 6);

  // Rows: inside the column, at least 32 tall, 2 apart, in order down the column.
  const Rect general = region("chat.channel:c_general")->rect;
  const Rect orphan = region("chat.channel:c_orphan")->rect;
  EXPECT_GE(general.height(), 32);
  EXPECT_DOUBLE_EQ(orphan.y0, general.y1 + 2);
  for (const auto& r : regions) {
    SCOPED_TRACE(string_id(r.id));
    EXPECT_GE(r.rect.x0, 0);
    EXPECT_LE(r.rect.x1, 316);
    if (r.id.kind != ControlKind::Inbox && r.id.kind != ControlKind::CurrentContext) {
      EXPECT_GE(r.rect.x0, 68);
    }
  }
  // The "+" square sits at the header's right end, beside the toggle.
  const Rect toggle = region("chat.category-toggle:cat_eng")->rect;
  const Rect add = region("chat.add-channel:ws_a:cat_eng")->rect;
  EXPECT_DOUBLE_EQ(add.x0, toggle.x1);
  EXPECT_DOUBLE_EQ(add.width(), add.height());
  EXPECT_GE(toggle.height(), 24);
}

TEST_F(SidebarTest, RegionsMoveWithThePane) {
  draw(-100);
  EXPECT_EQ(region("chat.inbox")->rect, Rect::from_xywh(-90, 16, 48, 48));
  EXPECT_GE(region("chat.channel:c_general")->rect.x0, -100 + 68);
}

TEST_F(SidebarTest, VoiceMembersPushLaterRowsDown) {
  draw();
  const double gap_without =
      region("chat.channel:c_after")->rect.y0 - region("chat.voice-channel:v_standup")->rect.y1;
  EXPECT_DOUBLE_EQ(gap_without, 2);

  document::CallMember talking;
  talking.user = "u_lena";
  talking.talking = true;
  document::CallMember muted;
  muted.user = "u_bo";
  muted.muted = true;
  model.calls = {{"v_standup", {talking, muted}}};
  draw();
  const double gap_with =
      region("chat.channel:c_after")->rect.y0 - region("chat.voice-channel:v_standup")->rect.y1;
  EXPECT_GE(gap_with, 2 + 2 * (24 + 2));
}

TEST_F(SidebarTest, RenameTargetsRegisterTheRenameField) {
  const struct {
    RenameTarget target;
    const char* replaced;  // the region the field takes the place of, or none
    const char* kept;
  } cases[] = {
      {{RenameTarget::Kind::Channel, "c_design"},
       "chat.channel:c_design",
       "chat.category-toggle:cat_eng"},
      {{RenameTarget::Kind::Channel, "v_standup"},
       "chat.voice-channel:v_standup",
       "chat.channel:c_design"},
      {{RenameTarget::Kind::Category, "cat_eng"}, nullptr, "chat.category-toggle:cat_eng"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target.id);
    state.rename = c.target;
    draw();
    const auto fields = of_kind(ControlKind::FocusRename);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_DOUBLE_EQ(fields[0]->rect.height(), 22);
    if (c.replaced) {
      EXPECT_FALSE(has(c.replaced));
    }
    EXPECT_TRUE(has(c.kept));
    EXPECT_TRUE(has("chat.add-channel:ws_a:cat_eng"));
  }
  state.rename.reset();
  draw();
  EXPECT_TRUE(of_kind(ControlKind::FocusRename).empty());
}

TEST_F(SidebarTest, IdentityBarReservesTheBottomOnlyWhenShown) {
  model.channels.clear();
  for (int i = 0; i < 30; ++i) {
    model.channels.push_back(channel("c_" + std::to_string(100 + i), "ws_a", ""));
  }
  set_height(700);

  const struct {
    const char* name;
    bool listed;
    bool in_call;
  } cases[] = {{"absent", false, false}, {"listed", true, false}, {"in call", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    model.people.clear();
    if (c.listed) model.people = {person("u_lena", "Lena"), person("u_me", "Mira")};
    state.call.in_call = c.in_call;
    state.call.channel = "v_standup";
    draw();
    const auto rows = of_kind(ControlKind::Channel);
    ASSERT_FALSE(rows.empty());
    ASSERT_LT(rows.size(), 30u);  // the column is full
    const double last_bottom = rows.back()->rect.y1;
    EXPECT_LE(last_bottom, 700);
    if (c.listed || c.in_call) {
      EXPECT_LE(last_bottom, 700 - 56);
    } else {
      EXPECT_GT(last_bottom, 700 - 56);  // rows extend into the space the bar would take
    }
    EXPECT_EQ(has("chat.call-mute"), c.in_call);
    EXPECT_EQ(has("chat.call-deafen"), c.in_call);
    if (c.in_call) {
      const Rect mute = region("chat.call-mute")->rect;
      EXPECT_GE(mute.width(), 32);
      EXPECT_DOUBLE_EQ(mute.width(), mute.height());
      EXPECT_GT(mute.y0, last_bottom);
      EXPECT_LT(mute.x1, region("chat.call-deafen")->rect.x0);
    }
  }
}

TEST_F(SidebarTest, InboxModeListsTextChannelsOfEveryWorkspace) {
  state.inbox_mode = true;
  draw();
  const std::vector<std::string> expected = {
      "chat.inbox",
      "chat.current-context",
      "chat.channel:c_general",
      "chat.channel:c_design",
      "chat.channel:c_after",
      "chat.channel:c_hidden",
      "chat.channel:c_orphan",
      "chat.channel:c_north",
  };
  EXPECT_EQ(ids(), expected);
  for (const auto* r : of_kind(ControlKind::Channel)) EXPECT_GE(r->rect.height(), 36);
  EXPECT_GE(region("chat.channel:c_general")->rect.y0, 58);
}

TEST_F(SidebarTest, InboxBadgeAppearsWithUnreadMessages) {
  const int x = 45;  // inside the badge's left end, clear of its digits
  const int y = 21;
  draw();  // 10 unread over both workspaces
  EXPECT_TRUE(pixel_is(x, y, theme.danger));

  for (auto& c : model.channels) c.unread = 0;
  draw();
  EXPECT_FALSE(pixel_is(x, y, theme.danger));
}

TEST(SidebarText, InboxBadge) {
  const struct {
    std::uint64_t total;
    const char* text;
  } cases[] = {{0, ""}, {1, "1"}, {99, "99"}, {100, "99+"}, {123456, "99+"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.total);
    EXPECT_EQ(inbox_badge_text(c.total), c.text);
  }
  document::ReadModel model;
  for (int i = 0; i < 3; ++i)
    model.channels.push_back(channel("c_x", "w", "", false, false, 0xFFFFFFFFu));
  EXPECT_EQ(total_unread(model), 3ull * 0xFFFFFFFFu);
}

TEST(SidebarText, OnlinePill) {
  const struct {
    std::size_t online;
    bool agents;
    const char* text;
  } cases[] = {{1, false, "1 person online"},
               {3, false, "3 people online"},
               {0, false, "0 people online"},
               {1, true, "1 collaborator online"},
               {2, true, "2 collaborators online"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(online_pill_text(c.online, c.agents), c.text);
  }
}

TEST_F(SidebarTest, CurrentWorkspaceButtonShowsTheContextWorkspace) {
  // A channel of North opened from the inbox: the rail still shows Acme's tile.
  state.selection.selected_workspace = "ws_b";
  state.selection.current_channel = "c_north";
  draw();
  EXPECT_TRUE(pixel_is(14, 106, theme.person_colors[2]));
  EXPECT_TRUE(has("chat.channel:c_north"));
  EXPECT_FALSE(has("chat.channel:c_general"));
}

TEST_F(SidebarTest, SwipeUncoversTheDeleteAffordance) {
  draw();
  const Rect row = region("chat.channel:c_general")->rect;
  const int px = static_cast<int>(row.x1) - 3;
  const int py = static_cast<int>(row.center().y);
  const double fy = py;
  EXPECT_FALSE(pixel_is(px, py, theme.danger));

  state.gesture = {{200, fy}, {160, fy}, "c_general", 0, true};
  draw();
  EXPECT_TRUE(pixel_is(px, py, theme.danger));
  EXPECT_EQ(region("chat.channel:c_general")->rect, row);  // the press region stays put

  state.gesture.current = {230, fy};  // rightward: no shift
  draw();
  EXPECT_FALSE(pixel_is(px, py, theme.danger));
}

TEST_F(SidebarTest, NavToggle) {
  const Rect heading{316, 0, 1280, 60};
  const struct {
    bool narrow;
    bool left_shown;
    bool drawn;
  } cases[] = {{false, true, false}, {false, false, true}, {true, true, true}, {true, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.narrow << c.left_shown);
    state.layout.flags.narrow = c.narrow;
    state.layout.left = Flap::make(true, {});
    if (!c.left_shown) state.layout.left.override_state = Flap::Override::Hidden;
    regions.clear();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 400, 100);
    cairo_t* ctx = cairo_create(s);
    {
      zarn_ui::Painter painter(ctx, 1, text);
      ViewFrame frame{painter, theme, model, state, regions};
      draw_nav_toggle(frame, heading);
    }
    cairo_destroy(ctx);
    cairo_surface_destroy(s);
    if (c.drawn) {
      ASSERT_EQ(regions.size(), 1u);
      EXPECT_EQ(string_id(regions[0].id), "chat.toggle-navigation");
      EXPECT_EQ(regions[0].rect, (Rect{328, 14, 360, 46}));
    } else {
      EXPECT_TRUE(regions.empty());
    }
  }
}

}  // namespace
}  // namespace chat::views
