// Attachment cards under a message body: their sizes, the access check, the image keys, and the
// drawing of the image, video and file cards. UI thread for drawing; the rest is pure.
#pragma once

#include <string>
#include <string_view>

#include "document/records.h"
#include "platform/zarn_ui/geometry.h"
#include "views/frame.h"

namespace chat::views {

inline constexpr std::string_view kDemoCallGrid = "zarn-demo://call-grid";
inline constexpr std::string_view kDemoSharedShot = "zarn-demo://shared-shot";

// The blob reference is 64 hexadecimal digits or one of the two demo keys, and reading is
// allowed.
bool attachment_access_allowed(std::string_view blob, bool can_read);

// The image-store key for a blob reference: demo keys as they are, others "zarn-blob://" + id.
std::string image_key(std::string_view blob);

// The card size for the available width `available` at text scale `scale`.
zarn_ui::Size attachment_card_size(const document::Attachment& attachment, double available,
                                   double scale, bool access_allowed);

// Paints the card with its top-left at `origin`; returns its size.
zarn_ui::Size draw_attachment_card(ViewFrame& frame, const document::Attachment& attachment,
                                   zarn_ui::Point origin, double available);

}  // namespace chat::views
