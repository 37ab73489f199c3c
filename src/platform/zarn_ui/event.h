// Input events the platform hands to widgets. Positions are in platform pixels; widgets divide
// by their text scale. Key codes are the platform's own small set, independent of SDL.
// Header-only; UI thread.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

enum class Key : std::uint16_t {
  Unknown,
  Enter,
  Escape,
  Tab,
  Backspace,
  Delete,
  Left,
  Right,
  Up,
  Down,
  Home,
  End,
  PageUp,
  PageDown,
  Space,
  A,  // letters used by shortcuts (select all, copy, cut, paste, undo)
  C,
  V,
  X,
  Z,
  Other,
};

struct Modifiers {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  bool super = false;
  bool operator==(const Modifiers&) const = default;
};

enum class KeyState : std::uint8_t { Pressed, Released };

struct KeyEvent {
  Key key = Key::Unknown;
  KeyState state = KeyState::Pressed;
  Modifiers mods;
  bool repeat = false;
};

// Committed text from the keyboard or an input method (UTF-8).
struct TextEvent {
  std::string text;
};

// Uncommitted input-method composition shown at the caret.
struct CompositionEvent {
  std::string text;
  int cursor = 0;
};

struct PointerMoveEvent {
  Point pos;
  Modifiers mods;
};

enum class MouseButton : std::uint8_t { Left, Middle, Right };
enum class ButtonState : std::uint8_t { Pressed, Released };

struct ButtonEvent {
  MouseButton button = MouseButton::Left;
  ButtonState state = ButtonState::Pressed;
  Point pos;
  int clicks = 1;
  Modifiers mods;
};

enum class WheelUnit : std::uint8_t { Lines, Pixels };

// Positive dy scrolls content up (towards earlier rows), as a wheel turned away from the user.
struct WheelEvent {
  double dx = 0;
  double dy = 0;
  WheelUnit unit = WheelUnit::Lines;
  Point pos;
  Modifiers mods;
};

struct PointerLeaveEvent {};

using Event = std::variant<KeyEvent, TextEvent, CompositionEvent, PointerMoveEvent, ButtonEvent,
                           WheelEvent, PointerLeaveEvent>;

}  // namespace zarn_ui
