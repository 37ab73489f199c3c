#include "platform/zarn_ui/shot_frame.h"

#include <cmath>
#include <system_error>

#include "platform/zarn_ui/painter.h"

namespace zarn_ui::launch {

namespace {

// The frame's host: a fixed clock (one instant per frame keeps animations settled and shots
// reproducible), an in-memory clipboard, and dispatch through the optional registry.
class ShotHost : public HostServices {
 public:
  crdt::Document* doc = nullptr;
  const zarn_actions::ActionRegistry* registry = nullptr;
  double scale = 1;
  std::chrono::steady_clock::time_point time = std::chrono::steady_clock::now();
  const Theme* theme_ptr = nullptr;
  std::string clipboard;

  crdt::Document* document() override { return doc; }
  double text_scale() const override { return scale; }
  std::chrono::steady_clock::time_point now() const override { return time; }
  const Theme& theme() const override { return *theme_ptr; }
  void request_redraw() override {}
  std::string clipboard_text() override { return clipboard; }
  void set_clipboard_text(std::string_view text) override { clipboard = std::string(text); }
  zarn::Result<void> dispatch(const zarn_actions::EncodedAction& action) override {
    if (doc == nullptr) return zarn::make_error("no document is lent to this frame");
    if (registry == nullptr) return zarn::make_error("no action registry in this frame");
    return apply_encoded_action(*registry, *doc, action);
  }
};

}  // namespace

struct ShotFrame::State {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  Theme theme;
  cairo_surface_t* surface = nullptr;
  TextRenderer text;
  PresenceCtx presence;
  ShotHost host;
  AccessNode tree;

  ~State() {
    if (surface) cairo_surface_destroy(surface);
  }

  double scale() const { return host.scale; }
};

zarn::Result<ShotFrame> ShotFrame::create(std::uint32_t width, std::uint32_t height, Theme theme) {
  if (width == 0 || height == 0) {
    return zarn::make_error("shot frame size must be positive, got " + std::to_string(width) + "x" +
                            std::to_string(height));
  }
  if (width > kMaxSide || height > kMaxSide) {
    return zarn::make_error("shot frame size " + std::to_string(width) + "x" +
                            std::to_string(height) + " exceeds " + std::to_string(kMaxSide) +
                            " pixels per side");
  }
  auto s = std::make_unique<State>();
  s->width = width;
  s->height = height;
  s->theme = std::move(theme);
  s->host.scale = std::isfinite(s->theme.scale) ? std::max(1.0, s->theme.scale) : 1.0;
  s->host.theme_ptr = &s->theme;
  s->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width),
                                          static_cast<int>(height));
  if (cairo_surface_status(s->surface) != CAIRO_STATUS_SUCCESS) {
    return zarn::make_error(std::string("cannot allocate shot frame: ") +
                            cairo_status_to_string(cairo_surface_status(s->surface)));
  }
  return ShotFrame(std::move(s));
}

ShotFrame::ShotFrame(std::unique_ptr<State> state) : s_(std::move(state)) {}
ShotFrame::ShotFrame(ShotFrame&&) noexcept = default;
ShotFrame& ShotFrame::operator=(ShotFrame&&) noexcept = default;
ShotFrame::~ShotFrame() = default;

void ShotFrame::set_presence(PresenceCtx presence) {
  s_->presence = std::move(presence);
}

void ShotFrame::set_action_registry(const zarn_actions::ActionRegistry* registry) {
  s_->host.registry = registry;
}

void ShotFrame::sync(Widget& widget, crdt::Document& doc) {
  s_->host.doc = &doc;
  FrameCtx ctx(s_->host);
  widget.sync(ctx);
}

void ShotFrame::sync(Widget& widget) {
  s_->host.doc = nullptr;
  FrameCtx ctx(s_->host);
  widget.sync(ctx);
}

LayoutResult ShotFrame::layout(Widget& widget) {
  Size logical = logical_size();
  FrameCtx ctx(s_->host);
  Size got = widget.build_layout(Constraints::tight(logical), ctx);
  if (!std::isfinite(got.width) || !std::isfinite(got.height) || got.width < 0 || got.height < 0) {
    return WidgetLayoutError("widget layout failed: unusable size " + std::to_string(got.width) +
                             "x" + std::to_string(got.height) + " for a " +
                             std::to_string(logical.width) + "x" + std::to_string(logical.height) +
                             " frame");
  }
  widget.apply_layout(Rect{0, 0, logical.width, logical.height}, ctx);
  return {};
}

void ShotFrame::draw(Widget& widget) {
  cairo_t* cr = cairo_create(s_->surface);
  {
    Painter painter(cr, s_->scale(), s_->text);
    painter.clear(s_->theme.surface_base);
    FrameCtx ctx(s_->host);
    widget.draw_with_presence(painter, ctx, s_->presence);
  }
  cairo_destroy(cr);
  cairo_surface_flush(s_->surface);
  s_->tree = widget.accessibility();
}

void ShotFrame::draw_floating_surfaces(Widget& widget) {
  cairo_t* cr = cairo_create(s_->surface);
  {
    Painter painter(cr, s_->scale(), s_->text);
    FrameCtx ctx(s_->host);
    widget.draw_floating_surfaces(painter, ctx);
  }
  cairo_destroy(cr);
  cairo_surface_flush(s_->surface);
}

zarn::Result<void> ShotFrame::write_png(const std::filesystem::path& path) const {
  if (path.empty()) return zarn::make_error("empty screenshot path");
  // Write beside the target and rename, so a failed write never leaves a truncated PNG.
  std::filesystem::path tmp = path;
  tmp += ".tmp";
  cairo_status_t st = cairo_surface_write_to_png(s_->surface, tmp.c_str());
  if (st != CAIRO_STATUS_SUCCESS) {
    std::error_code ignored;
    std::filesystem::remove(tmp, ignored);
    return zarn::make_error("cannot write " + path.string() + ": " + cairo_status_to_string(st));
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  if (ec) {
    std::filesystem::remove(tmp, ec);
    return zarn::make_error("cannot write " + path.string() + ": " + ec.message());
  }
  return zarn::ok();
}

zarn::Result<void> ShotFrame::write_a11y(const std::filesystem::path& path) const {
  return write_access_json(path, s_->tree, logical_size());
}

const AccessNode& ShotFrame::last_access_tree() const {
  return s_->tree;
}
std::uint32_t ShotFrame::width() const {
  return s_->width;
}
std::uint32_t ShotFrame::height() const {
  return s_->height;
}

Size ShotFrame::logical_size() const {
  return {s_->width / s_->scale(), s_->height / s_->scale()};
}

const Theme& ShotFrame::theme() const {
  return s_->theme;
}
cairo_surface_t* ShotFrame::surface() const {
  return s_->surface;
}
TextRenderer& ShotFrame::text_renderer() {
  return s_->text;
}

}  // namespace zarn_ui::launch
