// The headless screenshot callback: builds a fresh application object, stages the named layout,
// runs one frame off screen and writes the PNG. Runs on the launcher's thread.
#pragma once

#include "platform/zarn_ui/launch.h"

namespace chat::app {

// Renders one named layout to the request's output path.
zarn::Result<void> render_shot(const zarn_ui::launch::ShotRequest& request);

}  // namespace chat::app
