// The application's picture loader for the image store: draws the two demo pictures and reads
// stored attachments from the content store. Runs on the image store's worker threads.
#pragma once

#include "platform/zarn_ui/image_store.h"

namespace chat::views {

zarn_ui::ImageLoader make_image_loader();

}  // namespace chat::views
