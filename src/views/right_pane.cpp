#include "views/right_pane.h"

namespace chat::views {

void draw_right_pane(ViewFrame&) {}

}  // namespace chat::views
