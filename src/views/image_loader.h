// The application's picture loader for the image store: draws the two demo pictures and reads
// stored attachments from the content store. Runs on the image store's worker threads; it only
// reads the installed content store and draws into buffers of its own, so calls may overlap.
#pragma once

#include <string_view>

#include "platform/base/result.h"
#include "platform/zarn_ui/image_decode.h"
#include "platform/zarn_ui/image_store.h"

namespace chat::views {

// "zarn-demo://call-grid" (640×360), "zarn-demo://shared-shot" (620×400), "zarn-blob://<id>"
// (the stored bytes, decoded by the store); anything else, or nothing stored, is an error.
zarn_ui::ImageLoader make_image_loader();

// The two demo pictures, drawn with Cairo.
zarn::Result<zarn_ui::Image> draw_demo_picture(std::string_view key);

}  // namespace chat::views
