// Attachment cards under a message body: their sizes, the access check, the image keys, and the
// drawing of the image, video and file cards. UI thread for drawing; the rest is pure.
// Invariant: a card never paints outside the size attachment_card_size returns for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/records.h"
#include "platform/zarn_ui/geometry.h"
#include "views/frame.h"

namespace chat::views {

inline constexpr std::string_view kDemoCallGrid = "zarn-demo://call-grid";
inline constexpr std::string_view kDemoSharedShot = "zarn-demo://shared-shot";
inline constexpr std::string_view kDemoPrefix = "zarn-demo://";
inline constexpr std::string_view kBlobPrefix = "zarn-blob://";

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

// The line under a file card's name: "PDF · 1.5 KB", or only the size without an extension.
std::string file_card_subtitle(std::string_view name, std::uint64_t size);

// The line under a video card's name: "video · 2.0 MB", or "1280×720 · 2.0 MB".
std::string video_card_subtitle(std::uint32_t w, std::uint32_t h, std::uint64_t size);

// The placeholder text of a picture that is not ready. `failed` is the image store's verdict
// that the bytes it was given will never decode.
std::string image_status_text(std::string_view blob, bool failed);

const std::string& attachment_blob(const document::Attachment& attachment);
const std::string& attachment_name(const document::Attachment& attachment);

}  // namespace chat::views
