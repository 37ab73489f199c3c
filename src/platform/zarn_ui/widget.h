// Widget: the operation table the host drives a root widget through, every operation with a
// default. Per frame the host calls sync, build_layout/apply_layout, then draw (through
// draw_with_presence); input arrives through handle_event between frames. The contexts lend
// host services (the document, clock, clipboard, action dispatch) for the duration of one call
// and must not be kept. UI thread only; no two operations ever overlap.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/zarn_actions/action_registry.h"
#include "platform/zarn_ui/access_node.h"
#include "platform/zarn_ui/event.h"
#include "platform/zarn_ui/geometry.h"
#include "platform/zarn_ui/presence.h"
#include "platform/zarn_ui/theme.h"

namespace crdt {
class Document;
}

namespace zarn_ui {

class Painter;

// What a host offers a widget. The window loop and ShotFrame implement it; tests use
// BasicHost.
class HostServices {
 public:
  virtual ~HostServices() = default;
  // The lent document, or nullptr when the host hosts none.
  virtual crdt::Document* document() = 0;
  virtual double text_scale() const = 0;
  virtual std::chrono::steady_clock::time_point now() const = 0;
  virtual const Theme& theme() const = 0;
  virtual void request_redraw() = 0;
  virtual std::string clipboard_text() = 0;
  virtual void set_clipboard_text(std::string_view text) = 0;
  // Decodes, applies and persists an action through the host's registry.
  virtual zarn::Result<void> dispatch(const zarn_actions::EncodedAction& action) = 0;
};

// Per-call view of the host for sync, layout and draw.
class FrameCtx {
 public:
  explicit FrameCtx(HostServices& host) : host_(&host) {}

  crdt::Document* document() const { return host_->document(); }
  double text_scale() const { return host_->text_scale(); }
  std::chrono::steady_clock::time_point now() const { return host_->now(); }
  const Theme& theme() const { return host_->theme(); }
  void request_redraw() const { host_->request_redraw(); }
  std::string clipboard_text() const { return host_->clipboard_text(); }
  void set_clipboard_text(std::string_view text) const { host_->set_clipboard_text(text); }
  zarn::Result<void> dispatch(const zarn_actions::EncodedAction& action) const {
    return host_->dispatch(action);
  }
  HostServices& host() const { return *host_; }

 private:
  HostServices* host_;
};

// Context for one input event; the widget marks the event handled.
class EventCtx : public FrameCtx {
 public:
  using FrameCtx::FrameCtx;
  void set_handled() { handled_ = true; }
  bool handled() const { return handled_; }

 private:
  bool handled_ = false;
};

// Layout bounds offered to a widget; max may be infinite along an unbounded axis.
struct Constraints {
  Size min{};
  Size max{};
  static Constraints tight(Size s) { return {s, s}; }
  static Constraints loose(Size s) { return {{0, 0}, s}; }
  Size clamp(Size s) const;
};

enum class SemanticActionKind : std::uint8_t {
  Activate,
  Focus,
  SetValue,          // replace the whole text with `text`
  ReplaceSelection,  // insert `text` at the caret, replacing any selection
  Increment,
  Decrement,
  Dismiss,
  ScrollIntoView,
};

struct SemanticAction {
  SemanticActionKind kind = SemanticActionKind::Activate;
  std::string text{};
};

// A thing a widget exposes to the action host and automation.
struct ResourceInfo {
  std::string address{};  // "<kind>:<id>" by convention
  std::string kind{};
  std::string label{};
  std::string parent{};                // address of the containing resource, or empty
  std::vector<std::string> actions{};  // action names the host may offer on it
};

struct SearchHit {
  std::string address{};
  std::string kind{};
  std::string title{};
  std::string snippet{};
  double score = 0;  // higher ranks first
};

class SearchProvider {
 public:
  virtual ~SearchProvider() = default;
  virtual std::vector<SearchHit> query(std::string_view text, std::size_t limit) = 0;
};

// A request to show part of the widget as a desktop surface of its own.
struct FloatingSurfaceRequest {
  std::string surface_id{};
  std::string title{};
  std::string owner_app_id{};
  Rect rect{};        // the content
  Rect outer_rect{};  // content plus its shadow margin
};

struct FloatingSurfaceInfo {
  std::string surface_id{};
  Rect rect{};
  Rect outer_rect{};
};

enum class SurfaceEventKind : std::uint8_t {
  Geometry,         // the detached surface moved or resized
  AdoptionRequest,  // the window offers to take the surface back in
  ReturnRequest,    // the user asked to return the surface to the window
  Returned,         // the surface was returned to the window
  Presented,        // the surface is now shown by the desktop
};

struct SurfaceEvent {
  std::string surface_id{};
  SurfaceEventKind kind = SurfaceEventKind::Geometry;
  Rect rect{};                    // Geometry: the surface's rectangle
  Point offset{};                 // Geometry: its displacement since the last event
  bool shown_by_surface = false;  // Geometry: the surface now shows the content itself
};

class Widget {
 public:
  virtual ~Widget() = default;

  virtual void sync(FrameCtx& ctx);
  virtual Size build_layout(const Constraints& constraints, FrameCtx& ctx);
  virtual void apply_layout(const Rect& bounds, FrameCtx& ctx);
  virtual void draw(Painter& painter, FrameCtx& ctx);
  virtual void handle_event(const Event& event, EventCtx& ctx);
  virtual std::vector<std::string> operation_types() const;
  virtual Rect bounds() const;
  virtual bool has_popup() const;
  virtual AccessNode accessibility() const;
  virtual std::optional<Rect> synthetic_accessibility_rect(std::size_t index) const;
  virtual bool focus_synthetic_accessibility(std::size_t index);
  virtual bool perform_semantic_action(std::string_view id, const SemanticAction& action);
  virtual std::vector<ResourceInfo> resources() const;
  virtual std::optional<ResourceInfo> resource(std::string_view address) const;
  virtual std::shared_ptr<SearchProvider> search_provider();
  virtual std::optional<zarn_actions::EncodedAction> take_pending_dispatch();
  virtual zarn::Result<void> perform_operation(const zarn_actions::EncodedAction& operation,
                                               FrameCtx& ctx);
  virtual bool captures_pointer() const;
  virtual bool needs_animation_frame() const;
  virtual std::optional<Rect> popup_rect() const;
  virtual bool take_surface_changed();
  // The host paints through this; the default forgets the presence and calls draw.
  virtual void draw_with_presence(Painter& painter, FrameCtx& ctx, const PresenceCtx& presence);

  // Floating-surface host operations, in table order.
  virtual std::optional<FloatingSurfaceRequest> take_floating_surface_request();
  virtual std::uint8_t floating_surface_opacity() const;
  virtual std::vector<Rect> floating_surface_input_exclusions() const;
  virtual void draw_floating_surfaces(Painter& painter, FrameCtx& ctx);
  virtual std::vector<FloatingSurfaceInfo> floating_surfaces() const;
  virtual std::optional<std::string> active_floating_surface_id() const;
  virtual void set_floating_host_rect(const Rect& rect);
  virtual void handle_surface_event(const SurfaceEvent& event);
  // The floating surface under a point (logical pixels), if any.
  virtual std::optional<std::string> floating_surface_at(Point p) const;
  // Input aimed at a floating surface; the default handles it as window input.
  virtual void handle_floating_surface_event(std::string_view surface_id, const Event& event,
                                             EventCtx& ctx);

 protected:
  Rect bounds_{};  // set by the default apply_layout
};

// A HostServices for tests and tools: fixed scale and time, in-memory clipboard, and dispatch
// through an optional registry into the optional document.
class BasicHost : public HostServices {
 public:
  crdt::Document* doc = nullptr;
  const zarn_actions::ActionRegistry* registry = nullptr;
  double scale = 1;
  std::chrono::steady_clock::time_point time = std::chrono::steady_clock::now();
  Theme theme_value = Theme::dark();
  std::string clipboard{};
  int redraw_requests = 0;
  std::vector<zarn_actions::EncodedAction> dispatched{};

  crdt::Document* document() override { return doc; }
  double text_scale() const override { return scale; }
  std::chrono::steady_clock::time_point now() const override { return time; }
  const Theme& theme() const override { return theme_value; }
  void request_redraw() override { ++redraw_requests; }
  std::string clipboard_text() override { return clipboard; }
  void set_clipboard_text(std::string_view text) override { clipboard = std::string(text); }
  zarn::Result<void> dispatch(const zarn_actions::EncodedAction& action) override;
};

// Decodes `action` with the registry and applies it to `doc`. Errors name the action kind.
zarn::Result<void> apply_encoded_action(const zarn_actions::ActionRegistry& registry,
                                        crdt::Document& doc,
                                        const zarn_actions::EncodedAction& action);

}  // namespace zarn_ui
