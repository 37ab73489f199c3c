#include "views/layout.h"

namespace chat::views {

Flap Flap::make(bool preference, Clock::time_point now) {
  Flap f;
  f.preference = preference;
  f.progress = preference ? 1 : 0;
  f.last_tick = now;
  return f;
}
bool Flap::target() const { return preference; }
void Flap::set_collapsed(bool c) { collapsed = c; }
bool Flap::tick(Clock::time_point now) {
  last_tick = now;
  return false;
}
void Flap::toggle() {}
double Flap::eased() const { return progress; }
bool Flap::visible() const { return target() || progress > 0.001; }

std::optional<LayoutFlags> layout_flags(const zarn_ui::Rect&, double) { return LayoutFlags{}; }

PaneGeometry pane_geometry(const zarn_ui::Rect& bounds, double, const LayoutFlags&, const Flap&,
                           const Flap&, bool) {
  PaneGeometry g;
  g.conversation_left = bounds.x0;
  g.conversation_right = bounds.x1;
  return g;
}

zarn_ui::Rect composer_rect(double left, double right, double y1, double, double) {
  return {left + 14, y1 - 88, right - 14, y1 - 12};
}

}  // namespace chat::views
