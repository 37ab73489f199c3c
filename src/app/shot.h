// The headless screenshot callback: builds a fresh application object, stages the named layout,
// runs one frame off screen and writes the PNG (and, when asked, the accessibility JSON).
// Layout names match exactly; an unknown name renders the default view. Everything runs on the
// calling thread; only the image store decodes in the background, waited on for at most 3 s.
#pragma once

#include <memory>
#include <string_view>

#include "app/chat_app.h"
#include "platform/zarn_ui/launch.h"
#include "platform/zarn_ui/persist/persist.h"
#include "platform/zarn_ui/shot_frame.h"

namespace chat::app {

// The text the "edit" layout puts into the edit input.
inline constexpr std::string_view kShotEditText =
    "That's the one. Starting a huddle to walk through the grid \xE2\x80\x94 jump in. Moving it "
    "to 3pm so the west-coast folks can make it.";

// Sets the view state of the named layout on a freshly built application.
void apply_shot_preset(ChatApp& app, std::string_view layout);

// One frame drawn for a request, kept so callers can inspect or write it. The frame points at
// the document, so it is declared last and destroyed first.
struct StagedShot {
  std::unique_ptr<zarn_ui::persist::DocumentHandle> doc;
  std::unique_ptr<ChatApp> app;
  zarn_ui::launch::ShotFrame frame;
};

// Builds, stages, syncs, preloads pictures, lays out and draws; writes nothing. The request's
// output path is not looked at.
zarn::Result<StagedShot> stage_shot(const zarn_ui::launch::ShotRequest& request);

// Renders one named layout to the request's output path.
zarn::Result<void> render_shot(const zarn_ui::launch::ShotRequest& request);

}  // namespace chat::app
