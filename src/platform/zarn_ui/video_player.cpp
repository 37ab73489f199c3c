#include "platform/zarn_ui/video_player.h"

#include <algorithm>
#include <string>

#include "platform/zarn_ui/painter.h"

namespace zarn_ui {

VideoPlayer::VideoPlayer() = default;
VideoPlayer::~VideoPlayer() = default;

zarn::Result<void> VideoPlayer::feed(std::span<const std::uint8_t> rgba, int width, int height,
                                     std::size_t stride) {
  if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) {
    return zarn::make_error("video frame size " + std::to_string(width) + "x" +
                            std::to_string(height) + " is out of range");
  }
  const std::size_t row = static_cast<std::size_t>(width) * 4;
  if (stride == 0) stride = row;
  if (stride < row) return zarn::make_error("video frame stride is shorter than a row");
  // The last row needs only its pixels, not a full stride.
  const std::size_t need = stride * static_cast<std::size_t>(height - 1) + row;
  if (rgba.size() < need) {
    return zarn::make_error("video frame holds " + std::to_string(rgba.size()) + " bytes, needs " +
                            std::to_string(need));
  }
  if (!surface_ || cairo_image_surface_get_width(surface_.get()) != width ||
      cairo_image_surface_get_height(surface_.get()) != height) {
    std::unique_ptr<cairo_surface_t, SurfaceRelease> fresh(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(fresh.get()) != CAIRO_STATUS_SUCCESS) {
      return zarn::make_error("cannot allocate a video surface");
    }
    surface_ = std::move(fresh);
  }
  cairo_surface_t* s = surface_.get();
  cairo_surface_flush(s);
  unsigned char* dst = cairo_image_surface_get_data(s);
  const int dst_stride = cairo_image_surface_get_stride(s);
  // Cairo wants native-endian premultiplied ARGB words.
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = rgba.data() + stride * static_cast<std::size_t>(y);
    auto* out = reinterpret_cast<std::uint32_t*>(dst + static_cast<std::ptrdiff_t>(dst_stride) * y);
    for (int x = 0; x < width; ++x, in += 4) {
      const std::uint32_t a = in[3];
      auto pm = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      out[x] = (a << 24) | (pm(in[0]) << 16) | (pm(in[1]) << 8) | pm(in[2]);
    }
  }
  cairo_surface_mark_dirty(s);
  ++frames_shown_;
  return zarn::ok();
}

zarn::Result<void> VideoPlayer::feed(const VideoFrame& frame) {
  return feed(frame.rgba, frame.width, frame.height);
}

zarn::Result<void> VideoPlayer::feed_frame(std::span<const std::uint8_t> encoded) {
  if (!decoder_) return zarn::make_error("video player has no decoder");
  auto decoded = decoder_(encoded);
  if (!decoded) return std::move(decoded).take_error();
  if (!decoded.value()) return zarn::ok();
  return feed(*decoded.value());
}

void VideoPlayer::clear() {
  surface_.reset();
}

Size VideoPlayer::frame_size() const {
  if (!surface_) return {};
  return {static_cast<double>(cairo_image_surface_get_width(surface_.get())),
          static_cast<double>(cairo_image_surface_get_height(surface_.get()))};
}

Rect VideoPlayer::fitted_rect(const Rect& area) const {
  const Size frame = frame_size();
  if (frame.width <= 0 || area.empty()) return {};
  const double scale = std::min(area.width() / frame.width, area.height() / frame.height);
  const double w = frame.width * scale;
  const double h = frame.height * scale;
  const Point c = area.center();
  return {c.x - w / 2, c.y - h / 2, c.x + w / 2, c.y + h / 2};
}

void VideoPlayer::draw(Painter& painter, double radius) const {
  draw(painter, bounds_, radius);
}

void VideoPlayer::draw(Painter& painter, const Rect& area, double radius) const {
  if (area.empty()) return;
  painter.fill_rounded_rect(area, radius, Color{0, 0, 0, 1});
  if (!surface_) return;
  painter.push_clip(area, radius);
  painter.draw_image(surface_.get(), fitted_rect(area), ImageFit::Fill);
  painter.pop_clip();
}

}  // namespace zarn_ui
