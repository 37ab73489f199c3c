// VideoPlayer: shows the latest picture of a video stream. Frames are fed as tightly or
// loosely packed RGBA (or as encoded bytes through an installed decoder); only the newest
// picture is kept, as a Cairo image surface drawn aspect-fit. Malformed frames are refused with
// an error and the previous picture stays. UI thread only (feed, draw and layout alike).
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/base/result.h"
#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

class Painter;

struct VideoFrame {
  std::vector<std::uint8_t> rgba;  // width * height * 4 bytes, rows tightly packed
  int width = 0;
  int height = 0;
};

class VideoPlayer {
 public:
  static constexpr int kMaxDimension = 8192;
  // Turns one encoded payload into a picture, nothing yet (more input needed), or an error.
  using Decoder =
      std::function<zarn::Result<std::optional<VideoFrame>>(std::span<const std::uint8_t>)>;

  VideoPlayer();
  ~VideoPlayer();
  VideoPlayer(const VideoPlayer&) = delete;
  VideoPlayer& operator=(const VideoPlayer&) = delete;

  // Shows an RGBA picture. `stride` is the byte distance between rows (0: width * 4).
  zarn::Result<void> feed(std::span<const std::uint8_t> rgba, int width, int height,
                          std::size_t stride = 0);
  zarn::Result<void> feed(const VideoFrame& frame);
  void set_decoder(Decoder decoder) { decoder_ = std::move(decoder); }
  // Decodes through the installed decoder and shows the picture it yields, if any.
  zarn::Result<void> feed_frame(std::span<const std::uint8_t> encoded);
  // Forgets the picture (the stream ended).
  void clear();

  bool has_video() const { return surface_ != nullptr; }
  Size frame_size() const;
  std::uint64_t frames_shown() const { return frames_shown_; }
  cairo_surface_t* surface() const { return surface_.get(); }

  void apply_layout(const Rect& bounds) { bounds_ = bounds; }
  const Rect& bounds() const { return bounds_; }
  // The picture's rectangle when fitted into `area`, keeping its aspect ratio and centred.
  Rect fitted_rect(const Rect& area) const;
  // Black letterbox and the picture fitted inside `area` (the laid-out bounds by default).
  void draw(Painter& painter, double radius = 0) const;
  void draw(Painter& painter, const Rect& area, double radius = 0) const;

 private:
  struct SurfaceRelease {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
  };
  std::unique_ptr<cairo_surface_t, SurfaceRelease> surface_;
  Decoder decoder_;
  Rect bounds_;
  std::uint64_t frames_shown_ = 0;
};

}  // namespace zarn_ui
