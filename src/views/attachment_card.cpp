#include "views/attachment_card.h"

namespace chat::views {

bool attachment_access_allowed(std::string_view, bool) { return false; }
std::string image_key(std::string_view blob) { return std::string(blob); }
zarn_ui::Size attachment_card_size(const document::Attachment&, double, double, bool) {
  return {};
}
zarn_ui::Size draw_attachment_card(ViewFrame&, const document::Attachment&, zarn_ui::Point,
                                   double) {
  return {};
}

}  // namespace chat::views
