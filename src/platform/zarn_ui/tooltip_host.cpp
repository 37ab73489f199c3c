#include "platform/zarn_ui/tooltip_host.h"

#include <algorithm>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/surfaces.h"
#include "platform/zarn_ui/theme.h"

namespace zarn_ui {
namespace {

constexpr double kPadX = 10;
constexpr double kPadY = 6;
constexpr double kGap = 6;  // between anchor and bubble

TextStyle tip_style(const Theme& theme) {
  TextStyle style;
  style.size = theme.small_size;
  style.color = theme.text_strong;
  return style;
}

TextLayoutOptions tip_options() {
  TextLayoutOptions options;
  options.wrap_width = TooltipHost::kMaxWidth - 2 * kPadX;
  options.max_lines = 4;
  options.ellipsize = Ellipsize::End;
  return options;
}

}  // namespace

void TooltipHost::on_pointer(std::optional<Tooltip> target, Clock::time_point now) {
  if (!target || target->text.empty()) {
    hide(now);
    return;
  }
  if (target_ && *target_ == *target) return;  // resting on the same target keeps its timer
  const bool warm = shown_ || (hidden_at_ && now - *hidden_at_ <= kWarmWindow);
  target_ = std::move(target);
  shown_ = warm;
  since_ = now;
  hidden_at_.reset();
}

void TooltipHost::tick(Clock::time_point now) {
  if (target_ && !shown_ && now - since_ >= kShowDelay) shown_ = true;
}

void TooltipHost::hide(Clock::time_point now) {
  if (shown_) hidden_at_ = now;
  target_.reset();
  shown_ = false;
}

Rect TooltipHost::bubble_rect(TextRenderer& text, const Theme& theme, const Rect& bounds) const {
  if (!target_) return {};
  const Size size = text.measure(target_->text, tip_style(theme), tip_options());
  const double w = size.width + 2 * kPadX;
  const double h = size.height + 2 * kPadY;
  const Rect& a = target_->anchor;
  double x = a.center().x - w / 2;
  double y = a.y1 + kGap;
  if (!bounds.empty()) {
    if (y + h > bounds.y1 && a.y0 - kGap - h >= bounds.y0) y = a.y0 - kGap - h;
    x = std::max(bounds.x0 + 4, std::min(x, bounds.x1 - 4 - w));
    y = std::max(bounds.y0, std::min(y, bounds.y1 - h));
  }
  return Rect::from_xywh(x, y, w, h);
}

void TooltipHost::draw(Painter& painter, const Theme& theme, const Rect& bounds) const {
  if (!shown_ || !target_) return;
  const Rect r = bubble_rect(painter.text(), theme, bounds);
  surfaces::CardStyle style;
  style.elevation = surfaces::Elevation::Overlay;
  style.radius = 8;
  surfaces::card(painter, r, theme, style);
  painter.draw_text(target_->text, {r.x0 + kPadX, r.y0 + kPadY}, tip_style(theme), tip_options());
}

}  // namespace zarn_ui
