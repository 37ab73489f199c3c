#include "views/image_loader.h"

#include <string>

#include "platform/strata/blob_store.h"
#include "views/attachment_card.h"

namespace chat::views {

zarn_ui::ImageLoader make_image_loader() {
  return [](const std::string& key) -> zarn::Result<zarn_ui::LoadedImage> {
    if (key.starts_with(kDemoPrefix)) {
      auto picture = draw_demo_picture(key);
      if (!picture) return zarn::make_error(picture.error());
      return zarn_ui::LoadedImage{std::move(picture).value()};
    }
    if (key.starts_with(kBlobPrefix)) {
      const std::string_view id = std::string_view(key).substr(kBlobPrefix.size());
      auto bytes = strata::blobstore::get(id);
      if (!bytes) return zarn::make_error(bytes.error());
      if (!bytes.value()) return zarn::make_error("nothing stored under " + std::string(id));
      return zarn_ui::LoadedImage{zarn_ui::EncodedImage(std::move(*bytes.value()))};
    }
    // File paths among them: the popover's rows keep their icons rather than reading the disk.
    return zarn::make_error("no picture for this key");
  };
}

}  // namespace chat::views
