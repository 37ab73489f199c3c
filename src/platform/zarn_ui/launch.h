// Launcher: the application describes itself in a LaunchConfig and hands control to
// run_or_exit, which either renders a headless shot (--shot PATH [--layout NAME] [--size WxH]
// [--a11y PATH]) or opens the document, builds the root widget and runs the window loop until
// the window closes; then it exits the process. run_or_exit and the loop run on the main
// thread; only App::wake may be called from other threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/zarn_actions/action_registry.h"
#include "platform/zarn_ui/geometry.h"
#include "platform/zarn_ui/persist/persist.h"
#include "platform/zarn_ui/theme.h"
#include "platform/zarn_ui/widget.h"

namespace zarn_ui::launch {

struct ShotSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool operator==(const ShotSize&) const = default;
};

struct ShotRequest {
  std::optional<std::string> layout{};
  std::optional<ShotSize> size{};
  std::optional<std::filesystem::path> output{};
  std::optional<std::filesystem::path> a11y{};  // the shot callback writes the JSON here
};

// The running application as the launcher's callbacks see it.
class App {
 public:
  zarn_actions::ActionRegistry& action_registry_mut() { return registry_; }
  const zarn_actions::ActionRegistry& action_registry() const { return registry_; }
  // Wakes the event loop from any thread; harmless when no loop runs.
  static void wake();

 private:
  zarn_actions::ActionRegistry registry_;
};

using OpenDocumentFn = std::function<zarn::Result<std::unique_ptr<persist::DocumentHandle>>(
    const persist::OpenContext&, const persist::OpenOptions&)>;

struct LaunchConfig {
  std::string app_id{};
  // Font files registered with fontconfig before anything is drawn.
  std::vector<std::filesystem::path> font_files{};
  // Extra environment variables ("NAME=value") set before the window opens.
  std::vector<std::string> environment{};
  // Operation kinds the host accepts besides those the root widget names.
  std::vector<std::string> extra_operation_types{};
  // Arguments appended to the command line before parsing (tests, wrappers).
  std::vector<std::string> extra_args{};
  std::vector<std::string> shot_layouts{};
  std::function<void(App&)> on_started{};  // after the window is shown
  std::function<void()> on_exit{};         // before the process exits
  std::function<std::unique_ptr<Widget>()> app_factory{};
  std::function<zarn::Result<void>(const ShotRequest&)> shot{};
  std::function<void(App&)> register_actions{};
  std::function<Size()> default_window_size{};  // logical pixels
  // Asked when the window is to close; false keeps it open.
  std::function<bool()> confirm_close{};
  OpenDocumentFn open_document{};
  bool start_fullscreen = false;
  bool always_on_top = false;
  bool resizable = true;
  bool high_dpi = true;
};

// Reads the process arguments from /proc/self/cmdline.
[[noreturn]] void run_or_exit(LaunchConfig config);
[[noreturn]] void run_or_exit(LaunchConfig config, int argc, char** argv);

// ---- The pieces run_or_exit is made of, exposed for tests and tools.

enum class Mode : std::uint8_t { Window, Shot };
struct Invocation {
  Mode mode = Mode::Window;
  ShotRequest shot{};
};
// Parses the launcher's flags; unknown flags and malformed values are errors. `args` excludes
// the program name.
zarn::Result<Invocation> parse_args(std::span<const std::string> args);
// "WxH" with both sides in 1..16384.
zarn::Result<ShotSize> parse_size(std::string_view text);

// Runs the shot callback for a parsed request; returns the process exit code. A layout name
// not among config.shot_layouts is warned about on stderr and still handed to the callback.
int run_shot(const LaunchConfig& config, const ShotRequest& request);
// Opens the document, builds the widget, opens the window and runs the loop until it closes.
// Fails (before any loop runs) when there is no display or a callback fails.
zarn::Result<void> run_window(LaunchConfig& config);

// Theme for a shot: the dark theme with motion off, so a frame shows settled state.
Theme shot_theme(const ShotRequest& request);

// Text scale for a display DPI: dpi / 96, at least 1; ZARN_UI_SCALE (a positive number)
// overrides it when set.
double text_scale_for(std::optional<double> display_dpi, const char* env_override);

}  // namespace zarn_ui::launch
