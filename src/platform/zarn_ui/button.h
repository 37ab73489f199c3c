// Button: a labelled, optionally iconic push button drawn with the theme's button metrics. It
// holds only presentation state (hovered, pressed, active, enabled); hosts do the hit testing
// and act on clicks. UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/zarn_ui/access_node.h"
#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

class Painter;
class TextRenderer;
struct Theme;

enum class ButtonStyle : std::uint8_t {
  Normal,       // raised surface
  Primary,      // accent fill
  Destructive,  // danger fill
  Ghost,        // no fill until hovered
};

class Button {
 public:
  Button() = default;
  Button(std::string label, std::string icon = {}, ButtonStyle style = ButtonStyle::Normal);

  void set_label(std::string label) { label_ = std::move(label); }
  const std::string& label() const { return label_; }
  void set_icon(std::string icon) { icon_ = std::move(icon); }
  const std::string& icon() const { return icon_; }
  void set_style(ButtonStyle style) { style_ = style; }
  ButtonStyle style() const { return style_; }
  // Toggled on (a muted microphone, a selected tab).
  void set_active(bool active) { active_ = active; }
  bool is_active() const { return active_; }
  void set_enabled(bool enabled) { enabled_ = enabled; }
  bool is_enabled() const { return enabled_; }
  void set_hovered(bool hovered) { hovered_ = hovered; }
  void set_pressed(bool pressed) { pressed_ = pressed; }

  // Natural size: padding, icon, gap and label at the theme's button text size.
  Size measure(TextRenderer& text, const Theme& theme) const;
  // Width with the icon alone (the label dropped).
  double icon_only_width(TextRenderer& text, const Theme& theme) const;
  // Paints into `rect`. When the rectangle is narrower than the natural width and there is an
  // icon, only the icon is drawn; otherwise the label is ellipsized.
  void draw(Painter& painter, const Theme& theme, const Rect& rect) const;

  // A node for the accessibility tree: Button, or Toggle with `selected` = active.
  AccessNode access_node(std::string id, const Rect& rect,
                         AccessRole role = AccessRole::Button) const;

 private:
  std::string label_;
  std::string icon_;
  ButtonStyle style_ = ButtonStyle::Normal;
  bool active_ = false;
  bool enabled_ = true;
  bool hovered_ = false;
  bool pressed_ = false;
};

}  // namespace zarn_ui
