// ShotFrame: an off-screen frame that runs one widget frame (sync, layout, draw) into a Cairo
// image surface and writes it as PNG, plus the widget's accessibility tree as JSON. No display
// is needed. The frame is `width` x `height` device pixels painted at the theme's scale.
// UI-thread object: use it from the thread that owns the widget.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/result.h"
#include "platform/zarn_actions/action_registry.h"
#include "platform/zarn_ui/access_node.h"
#include "platform/zarn_ui/presence.h"
#include "platform/zarn_ui/text_renderer.h"
#include "platform/zarn_ui/theme.h"
#include "platform/zarn_ui/widget.h"

namespace crdt {
class Document;
}

namespace zarn_ui::launch {

class WidgetLayoutError {
 public:
  explicit WidgetLayoutError(std::string text) : text_(std::move(text)) {}
  // The text shown to a person.
  const std::string& display() const { return text_; }

 private:
  std::string text_;
};

// Success or a WidgetLayoutError.
class [[nodiscard]] LayoutResult {
 public:
  LayoutResult() = default;
  LayoutResult(WidgetLayoutError error) : error_(std::move(error)) {}
  bool has_value() const { return !error_.has_value(); }
  explicit operator bool() const { return has_value(); }
  const WidgetLayoutError& error() const { return *error_; }

 private:
  std::optional<WidgetLayoutError> error_;
};

class ShotFrame {
 public:
  static constexpr std::uint32_t kMaxSide = 16384;

  // Fails for a zero or oversized frame, or when Cairo cannot allocate it.
  static zarn::Result<ShotFrame> create(std::uint32_t width, std::uint32_t height, Theme theme);

  ShotFrame(ShotFrame&&) noexcept;
  ShotFrame& operator=(ShotFrame&&) noexcept;
  ~ShotFrame();

  // Host settings, all optional: the presence handed to draw_with_presence (permissive by
  // default) and a registry through which the widget's dispatches reach the lent document.
  void set_presence(PresenceCtx presence);
  void set_action_registry(const zarn_actions::ActionRegistry* registry);

  // Runs the widget's before-frame work with the document lent (or none).
  void sync(Widget& widget, crdt::Document& doc);
  void sync(Widget& widget);
  // Lays the widget out over the whole frame; fails when the widget's size is unusable.
  LayoutResult layout(Widget& widget);
  // Clears to the theme's base surface, then paints the widget and records its tree.
  void draw(Widget& widget);
  void draw_floating_surfaces(Widget& widget);
  zarn::Result<void> write_png(const std::filesystem::path& path) const;
  // The accessibility tree taken at the last draw, as JSON.
  zarn::Result<void> write_a11y(const std::filesystem::path& path) const;
  const AccessNode& last_access_tree() const;

  std::uint32_t width() const;
  std::uint32_t height() const;
  Size logical_size() const;
  const Theme& theme() const;
  // The ARGB32 pixels (premultiplied, native endian), for inspection.
  cairo_surface_t* surface() const;
  TextRenderer& text_renderer();

 private:
  struct State;
  explicit ShotFrame(std::unique_ptr<State> state);
  std::unique_ptr<State> s_;
};

}  // namespace zarn_ui::launch
