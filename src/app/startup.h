// Start-up: the launch configuration handed to the platform launcher, the document-opening
// callback and the headless screenshot callback. Main thread, before and inside the launcher.
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "platform/zarn_ui/launch.h"

namespace chat::app {

inline constexpr std::string_view kAppId = "org.zarnchat.Chat";

// The headless layouts, in the order the launcher offers them.
inline constexpr std::array<std::string_view, 21> kShotLayouts = {
    "narrow",       "history",
    "compact",      "starter",
    "people",       "thread-narrow",
    "collaboration", "context",
    "msgmenu",      "attach",
    "attach-loading", "attach-error",
    "edit",         "composer",
    "call",         "share",
    "floating-call-attached", "floating-call",
    "floating-call-hover", "floating-call-returning",
    "floating-call-returned",
};

// Opens the workspace document in the data directory, or in memory when none resolves.
zarn::Result<std::unique_ptr<zarn_ui::persist::DocumentHandle>> open_document(
    const zarn_ui::persist::OpenContext& ctx, const zarn_ui::persist::OpenOptions& options);

zarn_ui::launch::LaunchConfig make_launch_config();

}  // namespace chat::app
