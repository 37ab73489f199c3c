// The right pane: the open thread (parent, replies, thread composer) or the people list.
// Thread rows register no regions; the pane's own buttons and the thread composer do.
// UI thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "document/records.h"
#include "views/frame.h"

namespace chat::views {

// Paints the pane into state.layout.panes.right_pane, registering its regions, and stores the
// thread composer's card in state.layout.thread_composer (empty when none is drawn).
void draw_right_pane(ViewFrame& frame);

// "3 people · Acme", "1 collaborator · Acme", ...
std::string people_subtitle(std::size_t count, bool with_agents, std::string_view workspace);
// "Online", "Idle", "Do not disturb", "Offline".
std::string_view presence_label(document::Presence status);

}  // namespace chat::views
