// ImageStore: loads pictures by key on a small worker pool and caches them decoded. The
// application's loader runs on the workers and returns encoded bytes or a picture it drew;
// the store decodes, keeps one entry per key, and calls the wake callback when one settles.
// Every member may be called from any thread; the UI thread is the usual caller. The
// destructor waits for loader calls already running.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/base/result.h"
#include "platform/zarn_ui/geometry.h"
#include "platform/zarn_ui/image_decode.h"

namespace zarn_ui {

class Painter;

// What a loader hands back: bytes in one of the decodable formats, or a finished picture.
using EncodedImage = std::vector<std::uint8_t>;
using LoadedImage = std::variant<EncodedImage, Image>;
// An error means "nothing for this key (yet)"; such a key is asked again after a pause,
// because content that is still arriving may be there later.
using ImageLoader = std::function<zarn::Result<LoadedImage>(const std::string& key)>;

enum class ImageState { Loading, Ready, Failed };

struct ImageLookup {
  ImageState state = ImageState::Loading;
  std::shared_ptr<const Image> image;  // set only when Ready
  std::string error;                   // set only when Failed
};

struct ImageStoreOptions {
  int workers = 2;
  DecodeLimits limits;
  // Ready pictures beyond this many bytes are dropped, least recently asked for first.
  std::size_t cache_bytes = std::size_t{256} << 20;
  // A key whose loader found nothing is loaded again when asked after this pause. Bytes that
  // fail to decode are not retried: the same bytes would fail again.
  std::chrono::milliseconds retry_after{2000};
  // Called on a worker thread after a load settles, e.g. to wake the UI loop.
  std::function<void()> wake;
};

class ImageStore {
 public:
  explicit ImageStore(ImageLoader loader, ImageStoreOptions options = {});
  ~ImageStore();
  ImageStore(const ImageStore&) = delete;
  ImageStore& operator=(const ImageStore&) = delete;

  // The key's current state; asking for an unknown key (or one due for a retry) starts a load.
  ImageLookup get(const std::string& key);
  // True when no load is queued or running.
  bool is_idle() const;
  // Waits until idle; false when `limit` passed first.
  bool block_until_idle(std::chrono::milliseconds limit) const;
  // Forgets a key so the next get loads it again.
  void invalidate(const std::string& key);
  void set_wake(std::function<void()> wake);
  std::size_t cached_bytes() const;

 private:
  struct Shared;
  std::unique_ptr<Shared> shared_;
};

namespace image_store {

// Paints `image` scaled to cover `rect` (keeping its aspect ratio, centre crop), clipped to
// `rect` with corners of `corner_radius`. UI thread, while painting.
void paint_image_cover(Painter& painter, const Image& image, const Rect& rect,
                       double corner_radius);

}  // namespace image_store
}  // namespace zarn_ui
