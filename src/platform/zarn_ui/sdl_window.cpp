#include "platform/zarn_ui/sdl_window.h"

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/text_renderer.h"

namespace zarn_ui::launch::detail {

namespace {

using Clock = std::chrono::steady_clock;

constexpr Sint32 kWakeCode = 0x5a524e57;  // tags our user events among others
constexpr auto kAnimationFrame = std::chrono::milliseconds(16);

bool env_set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

struct WindowDeleter {
  void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
};
struct RendererDeleter {
  void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
};
struct TextureDeleter {
  void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
};
struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};

// What widgets see of the window loop.
class LoopHost : public HostServices {
 public:
  LoopHost(persist::DocumentHandle& doc, const zarn_actions::ActionRegistry& registry,
           const Theme& theme)
      : doc_(doc), registry_(registry), theme_(theme) {}

  double scale = 1;
  Clock::time_point time = Clock::now();
  bool redraw = false;

  crdt::Document* document() override { return &doc_.doc(); }
  double text_scale() const override { return scale; }
  Clock::time_point now() const override { return time; }
  const Theme& theme() const override { return theme_; }
  void request_redraw() override { redraw = true; }
  std::string clipboard_text() override {
    char* text = SDL_GetClipboardText();
    std::string out = text ? text : "";
    SDL_free(text);
    return out;
  }
  void set_clipboard_text(std::string_view text) override {
    std::string copy(text);
    SDL_SetClipboardText(copy.c_str());
  }
  zarn::Result<void> dispatch(const zarn_actions::EncodedAction& action) override {
    auto applied = apply_encoded_action(registry_, doc_.doc(), action);
    if (!applied) {
      std::fprintf(stderr, "zarn_ui: action dispatch failed: %s\n", applied.error().c_str());
      return applied;
    }
    doc_.note_changed(Clock::now());
    redraw = true;
    return zarn::ok();
  }

 private:
  persist::DocumentHandle& doc_;
  const zarn_actions::ActionRegistry& registry_;
  const Theme& theme_;
};

void report_save(const zarn::Result<void>& r) {
  if (!r) std::fprintf(stderr, "zarn_ui: saving the document failed: %s\n", r.error().c_str());
}

}  // namespace

zarn::Result<SdlVideo> SdlVideo::init() {
  // SDL_VIDEODRIVER may name a driver that needs no display (offscreen); let SDL decide then.
  if (!env_set("SDL_VIDEODRIVER") && !env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY")) {
    return zarn::make_error(
        "cannot open a window: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
        "use --shot PATH to render without one");
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    return zarn::make_error(std::string("cannot open a window: ") + SDL_GetError());
  }
  return SdlVideo();
}

SdlVideo::~SdlVideo() {
  if (active_) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_Quit();
  }
}

void push_wake_event() {
  SDL_Event ev{};
  ev.type = SDL_USEREVENT;
  ev.user.code = kWakeCode;
  SDL_PushEvent(&ev);  // fails harmlessly when no event queue runs
}

Key translate_key(SDL_Keycode code) {
  switch (code) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return Key::Enter;
    case SDLK_ESCAPE:
      return Key::Escape;
    case SDLK_TAB:
      return Key::Tab;
    case SDLK_BACKSPACE:
      return Key::Backspace;
    case SDLK_DELETE:
      return Key::Delete;
    case SDLK_LEFT:
      return Key::Left;
    case SDLK_RIGHT:
      return Key::Right;
    case SDLK_UP:
      return Key::Up;
    case SDLK_DOWN:
      return Key::Down;
    case SDLK_HOME:
      return Key::Home;
    case SDLK_END:
      return Key::End;
    case SDLK_PAGEUP:
      return Key::PageUp;
    case SDLK_PAGEDOWN:
      return Key::PageDown;
    case SDLK_SPACE:
      return Key::Space;
    case SDLK_a:
      return Key::A;
    case SDLK_c:
      return Key::C;
    case SDLK_v:
      return Key::V;
    case SDLK_x:
      return Key::X;
    case SDLK_z:
      return Key::Z;
    case SDLK_UNKNOWN:
      return Key::Unknown;
    default:
      return Key::Other;
  }
}

Modifiers translate_mods(Uint16 mod) {
  Modifiers m;
  m.shift = (mod & KMOD_SHIFT) != 0;
  m.ctrl = (mod & KMOD_CTRL) != 0;
  m.alt = (mod & KMOD_ALT) != 0;
  m.super = (mod & KMOD_GUI) != 0;
  return m;
}

std::optional<Event> translate_event(const SDL_Event& ev, double pixel_ratio) {
  auto pt = [&](double x, double y) { return Point{x * pixel_ratio, y * pixel_ratio}; };
  switch (ev.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      KeyEvent k;
      k.key = translate_key(ev.key.keysym.sym);
      k.state = ev.type == SDL_KEYDOWN ? KeyState::Pressed : KeyState::Released;
      k.mods = translate_mods(ev.key.keysym.mod);
      k.repeat = ev.key.repeat != 0;
      return Event{k};
    }
    case SDL_TEXTINPUT:
      return Event{TextEvent{ev.text.text}};
    case SDL_TEXTEDITING:
      return Event{CompositionEvent{ev.edit.text, ev.edit.start}};
    case SDL_MOUSEMOTION:
      return Event{
          PointerMoveEvent{pt(ev.motion.x, ev.motion.y), translate_mods(SDL_GetModState())}};
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      ButtonEvent b;
      switch (ev.button.button) {
        case SDL_BUTTON_LEFT:
          b.button = MouseButton::Left;
          break;
        case SDL_BUTTON_MIDDLE:
          b.button = MouseButton::Middle;
          break;
        case SDL_BUTTON_RIGHT:
          b.button = MouseButton::Right;
          break;
        default:
          return std::nullopt;
      }
      b.state = ev.type == SDL_MOUSEBUTTONDOWN ? ButtonState::Pressed : ButtonState::Released;
      b.pos = pt(ev.button.x, ev.button.y);
      b.clicks = ev.button.clicks;
      b.mods = translate_mods(SDL_GetModState());
      return Event{b};
    }
    case SDL_MOUSEWHEEL: {
      WheelEvent w;
      double flip = ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1.0 : 1.0;
      // SDL reports wheel notches (fractional for smooth wheels and touchpads), never pixels.
      w.dx = ev.wheel.preciseX * flip;
      w.dy = ev.wheel.preciseY * flip;
      w.unit = WheelUnit::Lines;
      w.pos = pt(ev.wheel.mouseX, ev.wheel.mouseY);
      w.mods = translate_mods(SDL_GetModState());
      return Event{w};
    }
    case SDL_WINDOWEVENT:
      if (ev.window.event == SDL_WINDOWEVENT_LEAVE) return Event{PointerLeaveEvent{}};
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

zarn::Result<void> run_loop(LaunchConfig& config, App& app, persist::DocumentHandle& doc,
                            Widget& root, SdlVideo&) {
  float ddpi = 0;
  std::optional<double> dpi;
  if (SDL_GetDisplayDPI(0, &ddpi, nullptr, nullptr) == 0) dpi = ddpi;
  const double scale = text_scale_for(dpi, std::getenv("ZARN_UI_SCALE"));

  Size logical = config.default_window_size ? config.default_window_size() : Size{1280, 800};
  if (!std::isfinite(logical.width) || logical.width < 1) logical.width = 1280;
  if (!std::isfinite(logical.height) || logical.height < 1) logical.height = 800;

  Uint32 flags = SDL_WINDOW_SHOWN;
  if (config.resizable) flags |= SDL_WINDOW_RESIZABLE;
  if (config.high_dpi) flags |= SDL_WINDOW_ALLOW_HIGHDPI;
  if (config.always_on_top) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  if (config.start_fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  std::unique_ptr<SDL_Window, WindowDeleter> window(
      SDL_CreateWindow(config.app_id.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                       static_cast<int>(std::min(logical.width * scale, 16384.0)),
                       static_cast<int>(std::min(logical.height * scale, 16384.0)), flags));
  if (!window) return zarn::make_error(std::string("cannot create the window: ") + SDL_GetError());
  std::unique_ptr<SDL_Renderer, RendererDeleter> renderer(SDL_CreateRenderer(window.get(), -1, 0));
  if (!renderer) {
    return zarn::make_error(std::string("cannot create a renderer: ") + SDL_GetError());
  }

  Theme theme = Theme::dark();
  theme.scale = scale;
  LoopHost host(doc, app.action_registry(), theme);
  host.scale = scale;
  TextRenderer text;
  PresenceCtx presence;
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> frame;
  std::unique_ptr<SDL_Texture, TextureDeleter> texture;
  int frame_w = 0;
  int frame_h = 0;
  double pixel_ratio = 1;

  SDL_StartTextInput();

  auto drain_dispatches = [&] {
    while (auto action = root.take_pending_dispatch()) {
      (void)host.dispatch(*action);  // failures are logged by the host
    }
  };

  auto render = [&]() -> zarn::Result<void> {
    int ww = 0;
    int wh = 0;
    SDL_GetWindowSize(window.get(), &ww, &wh);
    int pw = 0;
    int ph = 0;
    if (SDL_GetRendererOutputSize(renderer.get(), &pw, &ph) != 0 || pw <= 0 || ph <= 0) {
      return zarn::ok();  // minimised: nothing to paint
    }
    pixel_ratio = ww > 0 ? static_cast<double>(pw) / ww : 1.0;
    if (!frame || pw != frame_w || ph != frame_h) {
      frame.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph));
      if (cairo_surface_status(frame.get()) != CAIRO_STATUS_SUCCESS) {
        frame.reset();
        return zarn::make_error("cannot allocate a " + std::to_string(pw) + "x" +
                                std::to_string(ph) + " frame");
      }
      // Cairo's ARGB32 is one native-endian 32-bit word per pixel, as is SDL's ARGB8888.
      texture.reset(SDL_CreateTexture(renderer.get(), SDL_PIXELFORMAT_ARGB8888,
                                      SDL_TEXTUREACCESS_STREAMING, pw, ph));
      if (!texture)
        return zarn::make_error(std::string("cannot create texture: ") + SDL_GetError());
      frame_w = pw;
      frame_h = ph;
    }
    host.time = Clock::now();
    FrameCtx ctx(host);
    root.sync(ctx);
    drain_dispatches();
    Rect area{0, 0, pw / scale, ph / scale};
    root.set_floating_host_rect(area);
    (void)root.build_layout(Constraints::tight({area.x1, area.y1}), ctx);
    root.apply_layout(area, ctx);
    cairo_t* cr = cairo_create(frame.get());
    {
      Painter painter(cr, scale, text);
      painter.clear(theme.surface_base);
      root.draw_with_presence(painter, ctx, presence);
      root.draw_floating_surfaces(painter, ctx);
    }
    cairo_destroy(cr);
    cairo_surface_flush(frame.get());
    SDL_UpdateTexture(texture.get(), nullptr, cairo_image_surface_get_data(frame.get()),
                      cairo_image_surface_get_stride(frame.get()));
    SDL_RenderClear(renderer.get());
    SDL_RenderCopy(renderer.get(), texture.get(), nullptr, nullptr);
    SDL_RenderPresent(renderer.get());
    return zarn::ok();
  };

  bool running = true;
  bool dirty = true;
  bool started = false;
  Clock::time_point last_frame = Clock::now() - std::chrono::seconds(1);

  auto handle = [&](const SDL_Event& ev) {
    if (ev.type == SDL_QUIT ||
        (ev.type == SDL_WINDOWEVENT && ev.window.event == SDL_WINDOWEVENT_CLOSE)) {
      if (!config.confirm_close || config.confirm_close()) running = false;
      return;
    }
    if (ev.type == SDL_USEREVENT && ev.user.code == kWakeCode) {
      dirty = true;
      return;
    }
    if (ev.type == SDL_WINDOWEVENT) {
      switch (ev.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SHOWN:
          dirty = true;
          break;
        default:
          break;
      }
    }
    auto event = translate_event(ev, pixel_ratio);
    if (!event) return;
    host.time = Clock::now();
    host.redraw = false;
    EventCtx ctx(host);
    root.handle_event(*event, ctx);
    drain_dispatches();
    if (ctx.handled()) {
      // Handlers may write the document directly (drafts); let the save debounce see it.
      doc.note_changed(host.time);
      dirty = true;
    }
    if (host.redraw) dirty = true;
    SDL_CaptureMouse(root.captures_pointer() ? SDL_TRUE : SDL_FALSE);
  };

  while (running) {
    Clock::time_point now = Clock::now();
    const bool animating = root.needs_animation_frame();
    int timeout_ms = -1;
    if (dirty) {
      timeout_ms = 0;
    } else {
      std::optional<Clock::time_point> wake_at;
      if (animating) wake_at = last_frame + kAnimationFrame;
      if (auto deadline = doc.save_deadline()) {
        wake_at = wake_at ? std::min(*wake_at, *deadline) : *deadline;
      }
      if (wake_at) {
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wake_at - now).count();
        timeout_ms = static_cast<int>(std::clamp<long long>(ms, 0, INT_MAX));
      }
    }
    SDL_Event ev;
    int got = timeout_ms < 0    ? SDL_WaitEvent(&ev)
              : timeout_ms == 0 ? SDL_PollEvent(&ev)
                                : SDL_WaitEventTimeout(&ev, timeout_ms);
    while (got && running) {
      handle(ev);
      got = SDL_PollEvent(&ev);
    }
    if (!running) break;

    now = Clock::now();
    report_save(doc.save_if_due(now));
    if (animating && now - last_frame >= kAnimationFrame) dirty = true;
    if (dirty) {
      dirty = false;
      last_frame = now;
      ZARN_TRY(render());
      if (root.take_surface_changed()) dirty = true;
      // Desktop surfaces of their own are not offered here: a requested surface is handed
      // straight back so its content stays in the window.
      if (auto request = root.take_floating_surface_request()) {
        root.handle_surface_event(
            {request->surface_id, SurfaceEventKind::Returned, request->rect, {}, false});
        dirty = true;
      }
      if (!started) {
        started = true;
        if (config.on_started) config.on_started(app);
      }
    }
  }

  SDL_StopTextInput();
  auto saved = doc.save();
  if (!saved) return zarn::make_error("could not save the document on close: " + saved.error());
  return zarn::ok();
}

}  // namespace zarn_ui::launch::detail
