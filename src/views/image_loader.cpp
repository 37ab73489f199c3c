#include "views/image_loader.h"

namespace chat::views {

zarn_ui::ImageLoader make_image_loader() {
  return [](const std::string&) -> zarn::Result<zarn_ui::LoadedImage> {
    return zarn::make_error("no picture");
  };
}

}  // namespace chat::views
