#include "platform/zarn_ui/surfaces.h"

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/theme.h"

namespace zarn_ui::surfaces {

namespace {

ShadowStyle shadow_for(Elevation e) {
  switch (e) {
    case Elevation::Raised:
      return {8, {0, 2}, {0, 0, 0, 0.28}};
    case Elevation::Overlay:
      return {22, {0, 8}, {0, 0, 0, 0.45}};
    case Elevation::Flat:
      break;
  }
  return {0, {0, 0}, {0, 0, 0, 0}};
}

const Color& fill_for(Elevation e, const Theme& theme) {
  switch (e) {
    case Elevation::Flat:
      return theme.surface_base;
    case Elevation::Raised:
      return theme.surface_raised;
    case Elevation::Overlay:
      break;
  }
  return theme.surface_overlay;
}

}  // namespace

void shadow(Painter& painter, const Rect& rect, double radius, Elevation elevation) {
  if (elevation == Elevation::Flat) return;
  painter.shadow(rect, radius, shadow_for(elevation));
}

void card(Painter& painter, const Rect& rect, const Theme& theme, const CardStyle& style) {
  if (rect.empty()) return;
  double radius = style.radius.value_or(theme.corner_radius);
  shadow(painter, rect, radius, style.elevation);
  painter.fill_rounded_rect(rect, radius, style.fill.value_or(fill_for(style.elevation, theme)));
  if (style.outline) painter.stroke_rounded_rect(rect, radius, theme.edge, 1);
}

void separator(Painter& painter, Point from, double length, const Theme& theme,
               Orientation orientation) {
  if (length <= 0) return;
  Rect r = orientation == Orientation::Horizontal ? Rect::from_xywh(from.x, from.y, length, 1)
                                                  : Rect::from_xywh(from.x, from.y, 1, length);
  painter.fill_rect(r, theme.edge);
}

}  // namespace zarn_ui::surfaces
