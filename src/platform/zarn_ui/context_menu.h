// ContextMenu: a popup list of items opened at a point, driven by pointer, keyboard and
// accessibility actions, reporting which item was chosen. Items are addressed for automation as
// "context-menu:item:<index>". Invariant: while open, the highlight is absent or on an enabled
// item, and the popup rectangle covers every row. UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/zarn_ui/access_node.h"
#include "platform/zarn_ui/event.h"
#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

class EventCtx;
class Painter;
struct SemanticAction;
struct Theme;

// Icon codes a menu item may carry; other codes draw no icon.
enum class MenuIcon : std::uint16_t {
  None = 0,
  ArrowUp = 15,
  ArrowDown = 16,
  Add = 18,
  Archive = 36,
  Pencil = 49,
  Pin = 55,
  Trash = 78,
};

struct MenuItem {
  std::uint32_t id = 0;  // the caller's code, handed back with the choice
  std::string label;
  std::uint16_t icon = 0;  // a MenuIcon value
  bool destructive = false;
  bool disabled = false;
  bool keeps_open = false;  // choosing it leaves the menu open
};

struct MenuChoice {
  std::size_t index = 0;
  std::uint32_t id = 0;
  bool operator==(const MenuChoice&) const = default;
};

struct MenuEventResult {
  bool handled = false;  // the menu used the event; it goes no further
  std::optional<MenuChoice> chosen;
};

class ContextMenu {
 public:
  static constexpr std::string_view kNodeId = "context-menu";
  static constexpr std::string_view kItemIdPrefix = "context-menu:item:";
  static constexpr double kPadding = 6;  // above the first and below the last row

  static std::string item_node_id(std::size_t index);

  void set_width(double width) { width_ = width; }
  void set_row_height(double height) { row_height_ = height; }

  // Removes every item and closes the menu.
  void clear();
  void push(MenuItem item);
  const std::vector<MenuItem>& items() const { return items_; }

  // Opens with its top-left at `at`.
  void open_at(Point at);
  // Opens at `at`, flipped to the left of or above the point where it would cross the right or
  // bottom edge, then pulled inside `bounds`. An empty `bounds` does not clamp.
  void open_at_clamped(Point at, const Rect& bounds);
  void close();
  bool is_open() const { return open_; }
  // The popup rectangle while open; empty when closed.
  Rect popup_rect() const;
  Rect item_rect(std::size_t index) const;

  std::optional<std::size_t> highlighted() const { return highlight_; }
  // Highlights an enabled item (or clears the highlight with nullopt).
  void set_highlighted(std::optional<std::size_t> index);

  // Keys: Up/Down (wrapping) and Home/End move over enabled items, Enter/Space choose, Escape
  // closes. Pointer: hover highlights, a left press on an item chooses it, a press outside
  // closes. While open, keys, text and wheel are always consumed; pointer moves never are, nor
  // right presses outside (so the host can open another menu there).
  MenuEventResult handle_event(const Event& event, EventCtx& ctx);
  // Activate on an item id chooses it; Focus highlights it; Dismiss on the menu closes it.
  std::optional<MenuChoice> perform_semantic_action(std::string_view id,
                                                    const SemanticAction& action);

  void draw(Painter& painter, const Theme& theme) const;
  // A menu node holding one node per item; empty node when closed.
  AccessNode accessibility() const;

 private:
  void relayout();
  std::optional<std::size_t> item_at(Point p) const;
  std::optional<MenuChoice> choose(std::size_t index);
  void step_highlight(int direction);
  std::optional<std::size_t> first_enabled(std::size_t from, int direction) const;

  std::vector<MenuItem> items_;
  double width_ = 220;
  double row_height_ = 36;
  bool open_ = false;
  Point anchor_;
  Rect clamp_bounds_;  // empty: no clamping
  Rect rect_;
  std::optional<std::size_t> highlight_;
};

}  // namespace zarn_ui
