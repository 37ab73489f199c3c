#include "platform/zarn_ui/launch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/sdl_window.h"

namespace zarn_ui::launch {
namespace {

namespace fs = std::filesystem;

// Sets (or unsets, with nullptr) environment variables for one test and restores them after.
class ScopedEnv {
 public:
  ScopedEnv(std::initializer_list<std::pair<const char*, const char*>> vars) {
    for (auto [name, value] : vars) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
      if (value) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    }
  }
  ~ScopedEnv() {
    for (auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// Outlives the handle and widget that run_window destroys before it returns.
struct LoopLog {
  int saves = 0;
  int notes = 0;
  int syncs = 0;
  int draws = 0;
  std::vector<Event> events;
};

class FakeHandle : public persist::DocumentHandle {
 public:
  explicit FakeHandle(LoopLog* log = nullptr) : log_(log ? log : &own_) {}
  crdt::Document& doc() override {
    ADD_FAILURE() << "the document was not expected to be touched";
    std::abort();
  }
  const fs::path& path() const override { return path_; }
  zarn::Result<void> save() override {
    ++log_->saves;
    return zarn::ok();
  }
  void note_changed(std::chrono::steady_clock::time_point) override { ++log_->notes; }
  zarn::Result<void> save_if_due(std::chrono::steady_clock::time_point) override {
    return zarn::ok();
  }
  std::optional<std::chrono::steady_clock::time_point> save_deadline() const override {
    return std::nullopt;
  }

 private:
  fs::path path_;
  LoopLog own_;
  LoopLog* log_;
};

TEST(LaunchArgsTest, ParsesTheLauncherFlags) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
    Mode mode;
    std::optional<std::string> layout;
    std::optional<ShotSize> size;
  };
  const Case cases[] = {
      {{}, true, Mode::Window, {}, {}},
      {{"--shot", "out.png"}, true, Mode::Shot, {}, {}},
      {{"--shot", "o.png", "--layout", "call", "--size", "1280x800"},
       true,
       Mode::Shot,
       "call",
       ShotSize{1280, 800}},
      {{"--size=640x480", "--shot=o.png", "--layout="}, true, Mode::Shot, "", ShotSize{640, 480}},
      {{"--shot", "o.png", "--a11y", "o.json"}, true, Mode::Shot, {}, {}},
      {{"--shot"}, false, Mode::Window, {}, {}},
      {{"--shot", ""}, false, Mode::Window, {}, {}},
      {{"--layout", "call"}, false, Mode::Window, {}, {}},
      {{"--shot", "o.png", "--size", "12x"}, false, Mode::Window, {}, {}},
      {{"--shot", "o.png", "--verbose"}, false, Mode::Window, {}, {}},
      {{"--shot", "o.png", "--a11y"}, false, Mode::Window, {}, {}},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    auto inv = parse_args(c.args);
    ASSERT_EQ(inv.has_value(), c.ok) << (inv ? "" : inv.error());
    if (!c.ok) continue;
    EXPECT_EQ(inv->mode, c.mode);
    EXPECT_EQ(inv->shot.layout, c.layout);
    EXPECT_EQ(inv->shot.size, c.size);
  }
  auto full = parse_args(std::vector<std::string>{"--shot", "a.png", "--a11y", "a.json"});
  ASSERT_TRUE(full.has_value());
  EXPECT_EQ(full->shot.output, fs::path("a.png"));
  EXPECT_EQ(full->shot.a11y, fs::path("a.json"));
}

TEST(LaunchArgsTest, SizeMustBeSaneDimensions) {
  const std::pair<const char*, std::optional<ShotSize>> cases[] = {
      {"1280x800", ShotSize{1280, 800}},
      {"1X1", ShotSize{1, 1}},
      {"16384x16384", ShotSize{16384, 16384}},
      {"16385x10", std::nullopt},
      {"0x10", std::nullopt},
      {"10x0", std::nullopt},
      {"x10", std::nullopt},
      {"10x", std::nullopt},
      {"-5x10", std::nullopt},
      {"10x10x10", std::nullopt},
      {"99999999999x1", std::nullopt},
      {" 10x10", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, want] : cases) {
    SCOPED_TRACE(text);
    auto got = parse_size(text);
    ASSERT_EQ(got.has_value(), want.has_value());
    if (want) {
      EXPECT_EQ(*got, *want);
    }
  }
}

TEST(LaunchScaleTest, DpiAndOverride) {
  struct Case {
    std::optional<double> dpi;
    const char* env;
    double want;
  };
  const Case cases[] = {
      {std::nullopt, nullptr, 1}, {96.0, nullptr, 1}, {192.0, nullptr, 2},  {72.0, nullptr, 1},
      {144.0, "", 1.5},           {144.0, "2", 2},    {96.0, "1.25", 1.25}, {192.0, "0.5", 1},
      {192.0, "abc", 2},          {192.0, "-3", 2},   {96.0, "nan", 1},     {96.0, "2x", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env ? c.env : "(unset)");
    EXPECT_DOUBLE_EQ(text_scale_for(c.dpi, c.env), c.want);
  }
}

TEST(LaunchShotTest, CallbackDecidesEveryLayoutAndFailuresExitNonZero) {
  std::vector<ShotRequest> seen;
  zarn::Result<void> answer = zarn::ok();
  LaunchConfig config;
  config.shot_layouts = {"narrow", "call"};
  config.shot = [&](const ShotRequest& r) -> zarn::Result<void> {
    seen.push_back(r);
    return answer;
  };
  ShotRequest known{.layout = "call", .output = "x.png"};
  ShotRequest unknown{.layout = "no-such-layout", .output = "x.png"};
  EXPECT_EQ(run_shot(config, known), 0);
  EXPECT_EQ(run_shot(config, unknown), 0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].layout, "no-such-layout");

  answer = zarn::make_error("missing screenshot output");
  EXPECT_EQ(run_shot(config, known), 1);

  // Asked for accessibility output the callback never wrote: not a success.
  answer = zarn::ok();
  ShotRequest with_a11y{.output = "x.png", .a11y = fs::temp_directory_path() / "zarn-none.json"};
  fs::remove(*with_a11y.a11y);
  EXPECT_EQ(run_shot(config, with_a11y), 1);

  // A stale file from an earlier run does not count; a fresh write does.
  { std::ofstream(*with_a11y.a11y) << "{}"; }
  fs::last_write_time(*with_a11y.a11y,
                      fs::last_write_time(*with_a11y.a11y) - std::chrono::hours(1));
  EXPECT_EQ(run_shot(config, with_a11y), 1);
  config.shot = [&](const ShotRequest& r) -> zarn::Result<void> {
    std::ofstream(*r.a11y) << "{\"fresh\":true}";
    return zarn::ok();
  };
  EXPECT_EQ(run_shot(config, with_a11y), 0);
  fs::remove(*with_a11y.a11y);

  LaunchConfig empty;
  EXPECT_EQ(run_shot(empty, known), 2);
}

TEST(LaunchShotTest, ShotThemeSettlesMotion) {
  Theme t = shot_theme({});
  EXPECT_TRUE(t.reduced_motion);
  EXPECT_EQ(t.effective_motion().count(), 0);
}

TEST(LaunchWindowTest, MissingDisplayIsACleanErrorBeforeTheDocumentOpens) {
  ScopedEnv env{{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}, {"SDL_VIDEODRIVER", nullptr}};
  int opened = 0;
  LaunchConfig config;
  config.app_factory = [] { return std::make_unique<Widget>(); };
  config.open_document =
      [&](const persist::OpenContext&,
          const persist::OpenOptions&) -> zarn::Result<std::unique_ptr<persist::DocumentHandle>> {
    ++opened;
    return std::unique_ptr<persist::DocumentHandle>(std::make_unique<FakeHandle>());
  };
  auto r = run_window(config);
  ASSERT_FALSE(r.has_value());
  EXPECT_NE(r.error().find("no display"), std::string::npos) << r.error();
  EXPECT_EQ(opened, 0);

  LaunchConfig incomplete;
  EXPECT_FALSE(run_window(incomplete).has_value());
}

bool has_video_driver(std::string_view name) {
  for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
    if (name == SDL_GetVideoDriver(i)) return true;
  }
  return false;
}

// Runs the real loop on SDL's offscreen driver: one frame, one key, then the window closes.
TEST(LaunchWindowTest, LoopDrivesWidgetAndSavesOnClose) {
  if (!has_video_driver("offscreen")) GTEST_SKIP() << "SDL has no offscreen driver";
#if defined(__SANITIZE_ADDRESS__)
  // SDL's offscreen driver loads Mesa's EGL, whose allocations LeakSanitizer reports once the
  // library is unloaded; the plain build runs this test.
  GTEST_SKIP() << "Mesa EGL leaks under LeakSanitizer";
#endif
  ScopedEnv env{{"SDL_VIDEODRIVER", "offscreen"}, {"ZARN_UI_SCALE", "2"}};

  struct Recorder : Widget {
    explicit Recorder(LoopLog& log) : log(log) {}
    LoopLog& log;
    void sync(FrameCtx& ctx) override {
      ++log.syncs;
      EXPECT_DOUBLE_EQ(ctx.text_scale(), 2);
    }
    void draw(Painter& p, FrameCtx&) override {
      ++log.draws;
      EXPECT_DOUBLE_EQ(p.scale(), 2);
      EXPECT_EQ(bounds(), (Rect{0, 0, 320, 200}));
      p.fill_rect(bounds(), {1, 0, 0, 1});
    }
    void handle_event(const Event& e, EventCtx& ctx) override {
      log.events.push_back(e);
      if (std::holds_alternative<KeyEvent>(e)) ctx.set_handled();
    }
  };

  LoopLog log;
  bool started = false;
  int saves_at_close = -1;
  LaunchConfig config;
  config.app_id = "org.example.demo";
  config.default_window_size = [] { return Size{320, 200}; };
  config.register_actions = [&](App& app) {
    app.action_registry_mut().insert("demo.kind", nullptr);
  };
  config.app_factory = [&] { return std::make_unique<Recorder>(log); };
  config.open_document =
      [&](const persist::OpenContext& ctx,
          const persist::OpenOptions&) -> zarn::Result<std::unique_ptr<persist::DocumentHandle>> {
    EXPECT_EQ(ctx.app_id, "org.example.demo");
    return std::unique_ptr<persist::DocumentHandle>(std::make_unique<FakeHandle>(&log));
  };
  config.on_started = [&](App& app) {
    started = true;
    EXPECT_TRUE(app.action_registry().contains("demo.kind"));
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_RETURN;
    SDL_PushEvent(&key);
    App::wake();
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
  };
  config.confirm_close = [&] {
    saves_at_close = log.saves;
    return true;
  };

  auto r = run_window(config);
  ASSERT_TRUE(r.has_value()) << r.error();
  EXPECT_TRUE(started);
  EXPECT_GE(log.syncs, 1);
  EXPECT_EQ(log.syncs, log.draws);
  bool saw_enter = false;
  for (const auto& e : log.events) {
    if (const auto* k = std::get_if<KeyEvent>(&e)) saw_enter = saw_enter || k->key == Key::Enter;
  }
  EXPECT_TRUE(saw_enter);
  EXPECT_GE(log.notes, 1);  // a handled event marks the document changed
  EXPECT_EQ(saves_at_close, 0);
  EXPECT_EQ(log.saves, 1);  // closing the window saves once
}

TEST(LaunchEventTest, SdlEventsBecomePlatformEvents) {
  const std::pair<SDL_Keycode, Key> keys[] = {
      {SDLK_RETURN, Key::Enter},
      {SDLK_KP_ENTER, Key::Enter},
      {SDLK_ESCAPE, Key::Escape},
      {SDLK_a, Key::A},
      {SDLK_z, Key::Z},
      {SDLK_F5, Key::Other},
      {SDLK_UNKNOWN, Key::Unknown},
  };
  for (auto [code, key] : keys) {
    SCOPED_TRACE(code);
    EXPECT_EQ(detail::translate_key(code), key);
  }
  EXPECT_EQ(detail::translate_mods(KMOD_LCTRL | KMOD_RSHIFT),
            (Modifiers{.shift = true, .ctrl = true}));

  SDL_Event wheel{};
  wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.preciseY = 1.5f;
  wheel.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
  wheel.wheel.mouseX = 10;
  wheel.wheel.mouseY = 20;
  auto ev = detail::translate_event(wheel, 2.0);
  ASSERT_TRUE(ev.has_value());
  const auto& w = std::get<WheelEvent>(*ev);
  EXPECT_DOUBLE_EQ(w.dy, -1.5);
  EXPECT_EQ(w.unit, WheelUnit::Lines);
  EXPECT_EQ(w.pos, (Point{20, 40}));

  SDL_Event press{};
  press.type = SDL_MOUSEBUTTONDOWN;
  press.button.button = SDL_BUTTON_RIGHT;
  press.button.x = 7;
  press.button.y = 9;
  press.button.clicks = 2;
  ev = detail::translate_event(press, 1.0);
  ASSERT_TRUE(ev.has_value());
  const auto& b = std::get<ButtonEvent>(*ev);
  EXPECT_EQ(b.button, MouseButton::Right);
  EXPECT_EQ(b.clicks, 2);
  EXPECT_EQ(b.pos, (Point{7, 9}));

  press.button.button = SDL_BUTTON_X1;
  EXPECT_FALSE(detail::translate_event(press, 1.0).has_value());

  SDL_Event edit{};
  edit.type = SDL_TEXTEDITING;
  std::snprintf(edit.edit.text, sizeof(edit.edit.text), "%s", "ni");
  edit.edit.start = 2;
  ev = detail::translate_event(edit, 1.0);
  ASSERT_TRUE(ev.has_value());
  EXPECT_EQ(std::get<CompositionEvent>(*ev).text, "ni");
  EXPECT_EQ(std::get<CompositionEvent>(*ev).cursor, 2);
}

}  // namespace
}  // namespace zarn_ui::launch
