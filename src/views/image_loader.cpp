#include "views/image_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/unique_fd.h"
#include "platform/strata/blob_store.h"
#include "views/attachment_card.h"

namespace chat::views {

zarn::Result<std::vector<std::uint8_t>> read_picture_file(const std::string& path) {
  if (!path.starts_with('/')) return zarn::make_error("not an absolute path: " + path);
  // Non-blocking, so a FIFO put in a file's place cannot stall a worker; the type is checked
  // on the opened descriptor, not on a path that may change in between.
  zarn::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return zarn::make_error("cannot open " + path);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return zarn::make_error("cannot read " + path);
  if (!S_ISREG(info.st_mode)) return zarn::make_error("not a regular file: " + path);
  if (static_cast<std::uint64_t>(info.st_size) > kMaxPictureFileBytes) {
    return zarn::make_error("picture file exceeds 32 MiB: " + path);
  }

  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      // Grown since fstat: one byte more than the limit is enough to refuse it.
      if (bytes.size() > kMaxPictureFileBytes) {
        return zarn::make_error("picture file exceeds 32 MiB: " + path);
      }
      bytes.resize(std::min<std::size_t>(std::max<std::size_t>(bytes.size() * 2, 4096),
                                         kMaxPictureFileBytes + 1));
    }
    const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return zarn::make_error("cannot read " + path);
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  if (bytes.empty()) return zarn::make_error("empty file: " + path);
  return bytes;
}

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
    if (key.starts_with('/')) {
      auto bytes = read_picture_file(key);
      if (!bytes) return zarn::make_error(bytes.error());
      return zarn_ui::LoadedImage{zarn_ui::EncodedImage(std::move(bytes).value())};
    }
    return zarn::make_error("no picture for this key");
  };
}

}  // namespace chat::views
