// The SDL2 side of the launcher: video initialisation, the window, event translation and the
// frame loop. Internal to zarn_ui; main thread only, except push_wake_event (any thread).
#pragma once

#include <SDL.h>

#include <optional>

#include "platform/base/result.h"
#include "platform/zarn_ui/event.h"
#include "platform/zarn_ui/launch.h"

namespace zarn_ui::launch::detail {

// Owns SDL's video subsystem for its lifetime.
class SdlVideo {
 public:
  // Fails with a readable message when no display can be reached.
  static zarn::Result<SdlVideo> init();
  SdlVideo(SdlVideo&& other) noexcept : active_(std::exchange(other.active_, false)) {}
  SdlVideo& operator=(SdlVideo&&) = delete;
  ~SdlVideo();

 private:
  SdlVideo() = default;
  bool active_ = true;
};

zarn::Result<void> run_loop(LaunchConfig& config, App& app, persist::DocumentHandle& doc,
                            Widget& root, SdlVideo& video);

void push_wake_event();

// SDL keyboard state to the platform's key set; Key::Other for keys it does not name.
Key translate_key(SDL_Keycode code);
Modifiers translate_mods(Uint16 mod);
// One SDL event as platform events (none for events widgets do not see). `pixel_ratio`
// converts window coordinates to platform pixels.
std::optional<Event> translate_event(const SDL_Event& ev, double pixel_ratio);

}  // namespace zarn_ui::launch::detail
