#include "platform/zarn_ui/widget.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zarn_ui {

Size Constraints::clamp(Size s) const {
  return {std::clamp(s.width, min.width, std::max(min.width, max.width)),
          std::clamp(s.height, min.height, std::max(min.height, max.height))};
}

void Widget::sync(FrameCtx&) {}

Size Widget::build_layout(const Constraints& constraints, FrameCtx&) {
  // Take all the room offered; an unbounded axis falls back to the minimum.
  Size s = constraints.max;
  if (!std::isfinite(s.width)) s.width = constraints.min.width;
  if (!std::isfinite(s.height)) s.height = constraints.min.height;
  return s;
}

void Widget::apply_layout(const Rect& bounds, FrameCtx&) {
  bounds_ = bounds;
}
void Widget::draw(Painter&, FrameCtx&) {}
void Widget::handle_event(const Event&, EventCtx&) {}
std::vector<std::string> Widget::operation_types() const {
  return {};
}
Rect Widget::bounds() const {
  return bounds_;
}
bool Widget::has_popup() const {
  return false;
}

AccessNode Widget::accessibility() const {
  AccessNode node;
  node.role = AccessRole::Group;
  node.rect = bounds();
  return node;
}

std::optional<Rect> Widget::synthetic_accessibility_rect(std::size_t) const {
  return std::nullopt;
}
bool Widget::focus_synthetic_accessibility(std::size_t) {
  return false;
}
bool Widget::perform_semantic_action(std::string_view, const SemanticAction&) {
  return false;
}
std::vector<ResourceInfo> Widget::resources() const {
  return {};
}

std::optional<ResourceInfo> Widget::resource(std::string_view address) const {
  for (auto& r : resources()) {
    if (r.address == address) return r;
  }
  return std::nullopt;
}

std::shared_ptr<SearchProvider> Widget::search_provider() {
  return nullptr;
}
std::optional<zarn_actions::EncodedAction> Widget::take_pending_dispatch() {
  return std::nullopt;
}

zarn::Result<void> Widget::perform_operation(const zarn_actions::EncodedAction& operation,
                                             FrameCtx&) {
  return zarn::make_error("unsupported operation: " + operation.type_name);
}

bool Widget::captures_pointer() const {
  return false;
}
bool Widget::needs_animation_frame() const {
  return false;
}
std::optional<Rect> Widget::popup_rect() const {
  return std::nullopt;
}
bool Widget::take_surface_changed() {
  return false;
}

void Widget::draw_with_presence(Painter& painter, FrameCtx& ctx, const PresenceCtx&) {
  draw(painter, ctx);
}

std::optional<FloatingSurfaceRequest> Widget::take_floating_surface_request() {
  return std::nullopt;
}
std::uint8_t Widget::floating_surface_opacity() const {
  return 255;
}
std::vector<Rect> Widget::floating_surface_input_exclusions() const {
  return {};
}
void Widget::draw_floating_surfaces(Painter&, FrameCtx&) {}
std::vector<FloatingSurfaceInfo> Widget::floating_surfaces() const {
  return {};
}
std::optional<std::string> Widget::active_floating_surface_id() const {
  return std::nullopt;
}
void Widget::set_floating_host_rect(const Rect&) {}
void Widget::handle_surface_event(const SurfaceEvent&) {}

std::optional<std::string> Widget::floating_surface_at(Point p) const {
  for (const auto& s : floating_surfaces()) {
    if (s.rect.contains(p)) return s.surface_id;
  }
  return std::nullopt;
}

void Widget::handle_floating_surface_event(std::string_view, const Event& event, EventCtx& ctx) {
  handle_event(event, ctx);
}

zarn::Result<void> BasicHost::dispatch(const zarn_actions::EncodedAction& action) {
  dispatched.push_back(action);
  if (registry == nullptr || doc == nullptr) return zarn::ok();
  return apply_encoded_action(*registry, *doc, action);
}

zarn::Result<void> apply_encoded_action(const zarn_actions::ActionRegistry& registry,
                                        crdt::Document& doc,
                                        const zarn_actions::EncodedAction& action) {
  const zarn_actions::Decoder* decode = registry.find(action.type_name);
  if (decode == nullptr) {
    return zarn::make_error("no decoder registered for action kind '" + action.type_name + "'");
  }
  auto typed = (*decode)(action.json);
  if (!typed.has_value()) {
    return zarn::make_error("cannot decode '" + action.type_name + "' action: " + typed.error());
  }
  if (!typed.value()) {
    return zarn::make_error("decoder for '" + action.type_name + "' returned no action");
  }
  typed.value()->apply(doc);
  return zarn::ok();
}

}  // namespace zarn_ui
