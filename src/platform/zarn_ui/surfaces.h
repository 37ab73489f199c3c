// Surface painters: the few shapes every panel is made of (card, separator, shadow), drawn with
// theme colours so panels look alike. Free functions; UI thread (they paint).
#pragma once

#include <cstdint>
#include <optional>

#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

class Painter;
struct Theme;

namespace surfaces {

enum class Elevation : std::uint8_t { Flat, Raised, Overlay };
enum class Orientation : std::uint8_t { Horizontal, Vertical };

struct CardStyle {
  Elevation elevation = Elevation::Raised;
  std::optional<double> radius{};  // theme corner radius when absent
  std::optional<Color> fill{};     // the elevation's surface colour when absent
  bool outline = true;             // hairline in the edge colour
};

// Shadow (by elevation), fill and outline of a rounded panel.
void card(Painter& painter, const Rect& rect, const Theme& theme, const CardStyle& style = {});
// A one-pixel rule starting at `from`, `length` long.
void separator(Painter& painter, Point from, double length, const Theme& theme,
               Orientation orientation = Orientation::Horizontal);
// The soft shadow a card of this elevation casts; nothing for Flat.
void shadow(Painter& painter, const Rect& rect, double radius, Elevation elevation);

}  // namespace surfaces
}  // namespace zarn_ui
