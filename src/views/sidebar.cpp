#include "views/sidebar.h"

namespace chat::views {

void draw_left_pane(ViewFrame&, double) {}
void draw_nav_toggle(ViewFrame&, const zarn_ui::Rect&) {}

}  // namespace chat::views
