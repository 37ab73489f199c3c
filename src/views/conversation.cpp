#include "views/conversation.h"

namespace chat::views {

void draw_conversation(ViewFrame&) {}
void draw_edit_history_popover(ViewFrame&) {}

}  // namespace chat::views
