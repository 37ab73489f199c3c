// The conversation: heading, message list (groups, day label, bodies with mentions, reactions,
// thread summaries, edit card, attachment cards), scrolling with jump-to-latest, the empty
// channel text, the main composer, and the edit-history popover. UI thread.
#pragma once

#include "views/frame.h"

namespace chat::views {

// Measured heights and other per-frame memory of the conversation view.
struct ConversationCache {
  double last_content_height = 0;
};

// Paints the conversation between the pane edges of state.layout.panes, registering regions.
void draw_conversation(ViewFrame& frame);

// The edit-history popover, when open (a Dismiss region over the bounds first).
void draw_edit_history_popover(ViewFrame& frame);

}  // namespace chat::views
