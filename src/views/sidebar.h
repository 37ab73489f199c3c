// The left navigation pane: the 68-wide workspace rail and the 248-wide channel sidebar (normal
// and inbox modes), plus the navigation toggle drawn in the conversation heading. Reads only the
// read model and view state; the one thing it changes is the rename input's text style. Every
// control registers its region while it is painted. UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "views/frame.h"

namespace chat::views {

// Paints the 316-wide pane with its left edge at `x`, full height of the bounds, registering
// its regions.
void draw_left_pane(ViewFrame& frame, double x);

// The "☰" button at the heading's left edge + 12 when the layout is narrow or the left pane's
// target is hidden; registers ToggleLeftFlap.
void draw_nav_toggle(ViewFrame& frame, const zarn_ui::Rect& heading);

// Unread messages over every channel of every workspace (64-bit, so no sum can wrap).
std::uint64_t total_unread(const document::ReadModel& model);

// The inbox badge: empty for 0 (no badge), the count up to 99, "99+" from 100 on.
std::string inbox_badge_text(std::uint64_t total_unread);

// "1 person online", "3 people online", "2 collaborators online", ...
std::string online_pill_text(std::size_t online, bool with_agents);

}  // namespace chat::views
