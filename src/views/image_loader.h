// The application's picture loader for the image store: draws the two demo pictures, reads
// stored attachments from the content store and workspace files by absolute path. Runs on the
// image store's worker threads; it only reads the installed content store and files, and draws
// into buffers of its own, so calls may overlap.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/zarn_ui/image_decode.h"
#include "platform/zarn_ui/image_store.h"

namespace chat::views {

inline constexpr std::uint64_t kMaxPictureFileBytes = 33554432;  // 32 MiB, as for imports

// "zarn-demo://call-grid" (640×360), "zarn-demo://shared-shot" (620×400), "zarn-blob://<id>"
// (the stored bytes, decoded by the store), or an absolute file path (the file's bytes, decoded
// the same way); anything else, or nothing stored, is an error.
zarn_ui::ImageLoader make_image_loader();

// The bytes of a regular, non-empty file of at most kMaxPictureFileBytes at an absolute path.
// Blocking file I/O: worker threads only.
zarn::Result<std::vector<std::uint8_t>> read_picture_file(const std::string& path);

// The two demo pictures, drawn with Cairo.
zarn::Result<zarn_ui::Image> draw_demo_picture(std::string_view key);

}  // namespace chat::views
