#include "platform/zarn_ui/context_menu.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/widget.h"

namespace zarn_ui {
namespace {

Event key(Key k, Modifiers mods = {}) {
  return KeyEvent{k, KeyState::Pressed, mods, false};
}
Event press(Point p, MouseButton b = MouseButton::Left) {
  ButtonEvent e;
  e.button = b;
  e.pos = p;
  return e;
}
Event move(Point p) {
  PointerMoveEvent e;
  e.pos = p;
  return e;
}

// Five rows of 44 in a 220-wide menu: 2 * 6 + 5 * 44 = 232 tall.
class ContextMenuTest : public ::testing::Test {
 protected:
  ContextMenuTest() : ctx(host) {
    menu.set_width(220);
    menu.set_row_height(44);
    menu.push({10, "Delete", static_cast<std::uint16_t>(MenuIcon::Trash), true});
    menu.push({11, "Archive", 36});
    menu.push({12, "Rename (unavailable)", 49, false, /*disabled=*/true});
    menu.push({13, "Move up", 15});
    menu.push({14, "Move down", 16});
  }
  MenuEventResult send(const Event& e) {
    EventCtx fresh(host);
    return menu.handle_event(e, fresh);
  }

  BasicHost host;
  EventCtx ctx;
  ContextMenu menu;
};

TEST_F(ContextMenuTest, OpensInsideBoundsFlippingAtRightAndBottom) {
  const Rect bounds{0, 0, 800, 600};
  struct Case {
    const char* name;
    Point at;
    Rect bounds;
    Rect want;
  };
  const std::vector<Case> cases = {
      {"room to spare", {100, 100}, bounds, Rect::from_xywh(100, 100, 220, 232)},
      {"flips left at the right edge", {700, 100}, bounds, Rect::from_xywh(480, 100, 220, 232)},
      {"flips up at the bottom edge", {100, 500}, bounds, Rect::from_xywh(100, 268, 220, 232)},
      {"flips both in the corner", {790, 590}, bounds, Rect::from_xywh(570, 358, 220, 232)},
      {"flip would cross the left edge: clamp",
       {150, 100},
       Rect{0, 0, 300, 600},
       Rect::from_xywh(80, 100, 220, 232)},
      {"flip would cross the top edge: clamp",
       {10, 150},
       Rect{0, 0, 800, 300},
       Rect::from_xywh(10, 68, 220, 232)},
      {"point outside the bounds", {-50, -50}, bounds, Rect::from_xywh(0, 0, 220, 232)},
      {"offset bounds",
       {1000, 1000},
       Rect{200, 100, 900, 700},
       Rect::from_xywh(680, 468, 220, 232)},
      {"bounds smaller than the menu keep its top-left",
       {50, 50},
       Rect{0, 0, 100, 100},
       Rect::from_xywh(0, 0, 220, 232)},
      {"empty bounds do not clamp", {790, 590}, Rect{}, Rect::from_xywh(790, 590, 220, 232)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    menu.open_at_clamped(c.at, c.bounds);
    EXPECT_TRUE(menu.is_open());
    EXPECT_EQ(menu.popup_rect(), c.want);
    const Rect r = menu.popup_rect();
    if (!c.bounds.empty() && c.bounds.width() >= 220 && c.bounds.height() >= 232) {
      EXPECT_TRUE(r.x0 >= c.bounds.x0 && r.y0 >= c.bounds.y0 && r.x1 <= c.bounds.x1 &&
                  r.y1 <= c.bounds.y1);
    }
  }
  menu.close();
  EXPECT_TRUE(menu.popup_rect().empty());
}

TEST_F(ContextMenuTest, KeyboardMovesOverEnabledItemsAndChooses) {
  menu.open_at_clamped({10, 10}, Rect{0, 0, 800, 600});
  EXPECT_EQ(menu.highlighted(), std::nullopt);
  struct Step {
    Event event;
    std::optional<std::size_t> want;
  };
  const std::vector<Step> steps = {
      {key(Key::Down), 0}, {key(Key::Down), 1}, {key(Key::Down), 3},  // skips disabled 2
      {key(Key::Up), 1},   {key(Key::End), 4},  {key(Key::Down), 0},  // wraps
      {key(Key::Up), 4},   {key(Key::Home), 0}, {key(Key::Down), 1},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    const MenuEventResult r = send(steps[i].event);
    EXPECT_TRUE(r.handled);
    EXPECT_FALSE(r.chosen);
    EXPECT_EQ(menu.highlighted(), steps[i].want);
  }
  // Key releases and typed text stop at the open menu without acting.
  EXPECT_TRUE(send(KeyEvent{Key::Down, KeyState::Released, {}, false}).handled);
  EXPECT_TRUE(send(TextEvent{"x"}).handled);
  EXPECT_EQ(menu.highlighted(), 1u);

  const MenuEventResult chosen = send(key(Key::Enter));
  ASSERT_TRUE(chosen.chosen);
  EXPECT_EQ(*chosen.chosen, (MenuChoice{1, 11}));
  EXPECT_FALSE(menu.is_open());
  EXPECT_FALSE(send(key(Key::Down)).handled) << "a closed menu takes nothing";
}

TEST_F(ContextMenuTest, SpaceChoosesAndEscapeCloses) {
  menu.open_at({0, 0});
  EXPECT_FALSE(send(key(Key::Enter)).chosen) << "nothing highlighted yet";
  send(key(Key::End));
  EXPECT_EQ(send(key(Key::Space)).chosen, (MenuChoice{4, 14}));
  menu.open_at({0, 0});
  EXPECT_TRUE(send(key(Key::Escape)).handled);
  EXPECT_FALSE(menu.is_open());
}

TEST_F(ContextMenuTest, PointerHoverClickAndOutsidePresses) {
  menu.open_at({100, 100});
  const Point row1 = menu.item_rect(1).center();
  const Point row2 = menu.item_rect(2).center();
  host.scale = 2;  // events are in platform pixels
  auto platform = [](Point p) { return Point{p.x * 2, p.y * 2}; };

  EXPECT_FALSE(send(move(platform(row1))).handled) << "moves go on to the host";
  EXPECT_EQ(menu.highlighted(), 1u);
  send(move(platform(row2)));
  EXPECT_EQ(menu.highlighted(), std::nullopt) << "disabled rows do not highlight";

  MenuEventResult r = send(press(platform(row2)));
  EXPECT_TRUE(r.handled);
  EXPECT_FALSE(r.chosen) << "disabled rows cannot be chosen";
  EXPECT_TRUE(menu.is_open());

  r = send(press(platform(row1)));
  EXPECT_EQ(r.chosen, (MenuChoice{1, 11}));
  EXPECT_FALSE(menu.is_open());

  menu.open_at({100, 100});
  r = send(press(platform({5, 5})));
  EXPECT_TRUE(r.handled) << "a left press outside is used up closing the menu";
  EXPECT_FALSE(menu.is_open());

  menu.open_at({100, 100});
  r = send(press(platform({5, 5}), MouseButton::Right));
  EXPECT_FALSE(r.handled) << "a right press outside goes on (it may open another menu)";
  EXPECT_FALSE(menu.is_open());
}

TEST_F(ContextMenuTest, SemanticActionsByItemId) {
  const SemanticAction activate{SemanticActionKind::Activate, {}};
  EXPECT_EQ(menu.perform_semantic_action("context-menu:item:1", activate), std::nullopt)
      << "closed menu";
  struct Case {
    const char* id;
    bool chooses;
  };
  const std::vector<Case> cases = {
      {"context-menu:item:3", true},
      {"context-menu:item:2", false},  // disabled
      {"context-menu:item:5", false},
      {"context-menu:item:", false},
      {"context-menu:item:-1", false},
      {"context-menu:item:1x", false},
      {"context-menu:item:99999999999999999999999", false},
      {"some.other-control", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    menu.open_at({0, 0});
    const auto chosen = menu.perform_semantic_action(c.id, activate);
    EXPECT_EQ(chosen.has_value(), c.chooses);
    EXPECT_EQ(menu.is_open(), !c.chooses);
  }
  menu.open_at({0, 0});
  EXPECT_EQ(menu.perform_semantic_action("context-menu:item:3", activate), (MenuChoice{3, 13}));

  menu.open_at({0, 0});
  menu.perform_semantic_action("context-menu:item:4", {SemanticActionKind::Focus, {}});
  EXPECT_EQ(menu.highlighted(), 4u);
  menu.perform_semantic_action("context-menu", {SemanticActionKind::Dismiss, {}});
  EXPECT_FALSE(menu.is_open());
}

TEST_F(ContextMenuTest, KeepOpenItemsStayOpen) {
  menu.clear();
  menu.push({1, "Toggle", 0, false, false, /*keeps_open=*/true});
  menu.open_at({0, 0});
  EXPECT_EQ(menu.perform_semantic_action("context-menu:item:0", {}), (MenuChoice{0, 1}));
  EXPECT_TRUE(menu.is_open());
}

TEST_F(ContextMenuTest, AllDisabledMenuHasNoHighlight) {
  menu.clear();
  menu.push({1, "a", 0, false, true});
  menu.push({2, "b", 0, false, true});
  menu.open_at({0, 0});
  for (Key k : {Key::Down, Key::Up, Key::Home, Key::End}) {
    send(key(k));
    EXPECT_EQ(menu.highlighted(), std::nullopt);
  }
}

TEST_F(ContextMenuTest, AccessibilityListsItemsWithIdsAndRects) {
  EXPECT_TRUE(menu.accessibility().id.empty()) << "closed: no node";
  menu.open_at_clamped({100, 100}, Rect{0, 0, 800, 600});
  send(key(Key::Down));
  const AccessNode node = menu.accessibility();
  EXPECT_EQ(node.id, "context-menu");
  EXPECT_EQ(node.role, AccessRole::Menu);
  EXPECT_EQ(node.rect, menu.popup_rect());
  ASSERT_EQ(node.children.size(), 5u);
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    SCOPED_TRACE(i);
    const AccessNode& item = node.children[i];
    EXPECT_EQ(item.id, "context-menu:item:" + std::to_string(i));
    EXPECT_EQ(item.label, menu.items()[i].label);
    EXPECT_EQ(item.role, AccessRole::MenuItem);
    EXPECT_EQ(item.rect, menu.item_rect(i));
    EXPECT_EQ(item.selected, i == 0);
    EXPECT_EQ(item.disabled, i == 2);
  }
}

TEST_F(ContextMenuTest, DrawsWithinItsRectangle) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 400, 400);
  cairo_t* cr = cairo_create(surface);
  TextRenderer text;
  menu.open_at_clamped({300, 300}, Rect{0, 0, 400, 400});
  send(key(Key::Down));
  {
    Painter painter(cr, 1, text);
    menu.draw(painter, host.theme_value);
  }
  cairo_surface_flush(surface);
  const Rect r = menu.popup_rect();
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  auto alpha_at = [&](Point p) {
    return data[static_cast<int>(p.y) * stride + static_cast<int>(p.x) * 4 + 3];
  };
  EXPECT_EQ(alpha_at(r.center()), 255) << "the panel is opaque";
  EXPECT_EQ(alpha_at({5, 5}), 0) << "far from the menu nothing is painted";
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

}  // namespace
}  // namespace zarn_ui
