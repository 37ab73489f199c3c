// The right pane: the open thread (parent, replies, thread composer) or the people list.
// UI thread.
#pragma once

#include "views/frame.h"

namespace chat::views {

// Paints the pane into state.layout.panes.right_pane, registering its regions.
void draw_right_pane(ViewFrame& frame);

}  // namespace chat::views
