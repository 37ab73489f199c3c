#include "platform/zarn_ui/launch.h"

#include <fontconfig/fontconfig.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/zarn_ui/sdl_window.h"

namespace zarn_ui::launch {

namespace {

constexpr const char* kUsage = "usage: [--shot PATH [--layout NAME] [--size WxH] [--a11y PATH]]";

bool take_value(std::span<const std::string> args, std::size_t& i, std::string_view flag,
                std::string& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg.size() > flag.size() && arg.compare(0, flag.size(), flag) == 0 &&
      arg[flag.size()] == '=') {
    value = arg.substr(flag.size() + 1);
    return true;
  }
  if (i + 1 >= args.size()) {
    error = std::string(flag) + " needs a value";
    return false;
  }
  value = args[++i];
  return true;
}

bool is_flag(const std::string& arg, std::string_view flag) {
  return arg == flag || (arg.size() > flag.size() && arg.compare(0, flag.size(), flag) == 0 &&
                         arg[flag.size()] == '=');
}

std::vector<std::string> proc_cmdline_args() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    out.emplace_back(all.substr(start, end - start));
    start = end + 1;
  }
  if (!out.empty()) out.erase(out.begin());  // the program name
  return out;
}

void prepare_process(const LaunchConfig& config) {
  for (const auto& entry : config.environment) {
    auto eq = entry.find('=');
    if (eq == std::string::npos || eq == 0) {
      std::fprintf(stderr, "zarn_ui: ignoring malformed environment entry '%s'\n", entry.c_str());
      continue;
    }
    setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
  }
  for (const auto& font : config.font_files) {
    if (!FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(font.c_str()))) {
      std::fprintf(stderr, "zarn_ui: cannot load font %s\n", font.c_str());
    }
  }
}

[[noreturn]] void run_and_exit(LaunchConfig config, std::vector<std::string> args) {
  args.insert(args.end(), config.extra_args.begin(), config.extra_args.end());
  auto inv = parse_args(args);
  if (!inv) {
    std::fprintf(stderr, "zarn_ui: %s\n%s\n", inv.error().c_str(), kUsage);
    std::exit(2);
  }
  prepare_process(config);
  if (inv->mode == Mode::Shot) {
    int code = run_shot(config, inv->shot);
    std::fflush(stdout);
    std::exit(code);
  }
  auto ran = run_window(config);
  if (config.on_exit) config.on_exit();
  if (!ran) {
    std::fprintf(stderr, "zarn_ui: %s\n", ran.error().c_str());
    std::exit(1);
  }
  std::exit(0);
}

}  // namespace

void App::wake() {
  detail::push_wake_event();
}

zarn::Result<ShotSize> parse_size(std::string_view text) {
  auto bad = [&] {
    return zarn::make_error("bad size '" + std::string(text) + "': expected WxH, e.g. 1280x800");
  };
  auto x = text.find_first_of("xX");
  if (x == std::string_view::npos || x == 0 || x + 1 >= text.size()) return bad();
  auto parse_side = [](std::string_view s, std::uint32_t& out) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s) {
      if (c < '0' || c > '9') return false;
    }
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
  };
  ShotSize size;
  if (!parse_side(text.substr(0, x), size.width) || !parse_side(text.substr(x + 1), size.height)) {
    return bad();
  }
  constexpr std::uint32_t kMax = 16384;
  if (size.width == 0 || size.height == 0 || size.width > kMax || size.height > kMax) {
    return zarn::make_error("bad size '" + std::string(text) + "': each side must be 1.." +
                            std::to_string(kMax));
  }
  return size;
}

zarn::Result<Invocation> parse_args(std::span<const std::string> args) {
  Invocation inv;
  bool saw_extra = false;
  std::string error;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (is_flag(arg, "--shot")) {
      if (!take_value(args, i, "--shot", value, error)) return zarn::make_error(error);
      if (value.empty()) return zarn::make_error("--shot needs a non-empty path");
      inv.mode = Mode::Shot;
      inv.shot.output = value;
    } else if (is_flag(arg, "--layout")) {
      if (!take_value(args, i, "--layout", value, error)) return zarn::make_error(error);
      inv.shot.layout = value;
      saw_extra = true;
    } else if (is_flag(arg, "--size")) {
      if (!take_value(args, i, "--size", value, error)) return zarn::make_error(error);
      auto size = parse_size(value);
      if (!size) return zarn::make_error(size.error());
      inv.shot.size = *size;
      saw_extra = true;
    } else if (is_flag(arg, "--a11y")) {
      if (!take_value(args, i, "--a11y", value, error)) return zarn::make_error(error);
      if (value.empty()) return zarn::make_error("--a11y needs a non-empty path");
      inv.shot.a11y = value;
      saw_extra = true;
    } else {
      return zarn::make_error("unknown argument '" + arg + "'");
    }
  }
  if (saw_extra && inv.mode != Mode::Shot) {
    return zarn::make_error("--layout, --size and --a11y only apply with --shot");
  }
  return inv;
}

int run_shot(const LaunchConfig& config, const ShotRequest& request) {
  if (!config.shot) {
    std::fprintf(stderr, "zarn_ui: this application renders no shots\n");
    return 2;
  }
  if (request.layout) {
    bool known = false;
    for (const auto& name : config.shot_layouts) known = known || name == *request.layout;
    if (!known) {
      std::fprintf(stderr, "zarn_ui: layout '%s' is not one of the %zu known layouts\n",
                   request.layout->c_str(), config.shot_layouts.size());
    }
  }
  // A file left from an earlier run must not pass for this run's output.
  std::optional<std::filesystem::file_time_type> a11y_before;
  if (request.a11y) {
    std::error_code ec;
    auto t = std::filesystem::last_write_time(*request.a11y, ec);
    if (!ec) a11y_before = t;
  }
  auto done = config.shot(request);
  if (!done) {
    std::fprintf(stderr, "zarn_ui: shot failed: %s\n", done.error().c_str());
    return 1;
  }
  std::error_code ec;
  if (request.a11y && (!std::filesystem::exists(*request.a11y, ec) ||
                       std::filesystem::last_write_time(*request.a11y, ec) == a11y_before)) {
    std::fprintf(stderr, "zarn_ui: the shot wrote no accessibility JSON to %s\n",
                 request.a11y->c_str());
    return 1;
  }
  return 0;
}

zarn::Result<void> run_window(LaunchConfig& config) {
  if (!config.app_factory) return zarn::make_error("launch configuration has no app factory");
  if (!config.open_document) {
    return zarn::make_error("launch configuration has no document-opening callback");
  }
  // The display comes first: without one nothing else is worth opening (or locking).
  auto video = detail::SdlVideo::init();
  if (!video) return zarn::make_error(video.error());

  App app;
  if (config.register_actions) config.register_actions(app);

  persist::OpenContext open_ctx{config.app_id};
  persist::OpenOptions open_opts;
  auto doc = config.open_document(open_ctx, open_opts);
  if (!doc) return zarn::make_error("cannot open the document: " + doc.error());
  if (!doc.value()) return zarn::make_error("cannot open the document: no handle returned");

  std::unique_ptr<Widget> root = config.app_factory();
  if (!root) return zarn::make_error("the app factory built no widget");

  return detail::run_loop(config, app, *doc.value(), *root, video.value());
}

Theme shot_theme(const ShotRequest&) {
  Theme theme = Theme::dark();
  theme.reduced_motion = true;
  return theme;
}

double text_scale_for(std::optional<double> display_dpi, const char* env_override) {
  if (env_override != nullptr && *env_override != '\0') {
    char* end = nullptr;
    double v = std::strtod(env_override, &end);
    if (end != env_override && *end == '\0' && std::isfinite(v) && v > 0) {
      return std::clamp(v, 1.0, 8.0);
    }
  }
  if (display_dpi && std::isfinite(*display_dpi) && *display_dpi > 0) {
    return std::clamp(*display_dpi / 96.0, 1.0, 8.0);
  }
  return 1.0;
}

void run_or_exit(LaunchConfig config) {
  run_and_exit(std::move(config), proc_cmdline_args());
}

void run_or_exit(LaunchConfig config, int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  run_and_exit(std::move(config), std::move(args));
}

}  // namespace zarn_ui::launch
