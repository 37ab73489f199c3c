#include "views/attachment_card.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <variant>

#include "platform/strata/blob_store.h"
#include "platform/zarn_ui/format.h"
#include "platform/zarn_ui/image_store.h"
#include "views/people.h"

namespace chat::views {

namespace {

using zarn_ui::Color;
using zarn_ui::Point;
using zarn_ui::Rect;
using zarn_ui::Size;
using zarn_ui::TextLayoutOptions;
using zarn_ui::TextStyle;

constexpr double kCardRadius = 12;
constexpr double kMaxMediaHeight = 210;
constexpr int kWashBands = 12;

bool is_hex_id(std::string_view blob) {
  if (blob.size() != 64) return false;
  return std::all_of(blob.begin(), blob.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

bool is_demo_key(std::string_view blob) {
  return blob == kDemoCallGrid || blob == kDemoSharedShot;
}

// A NaN or negative width would give a card of negative size.
double usable_width(double available) {
  return std::isfinite(available) ? std::max(available, 0.0) : 0.0;
}

Size media_size(double available, std::uint32_t w, std::uint32_t h) {
  const double pw = std::max<double>(w, 1);
  const double ph = std::max<double>(h, 1);
  double width = std::min(usable_width(available), 380.0);
  double height = width * ph / pw;
  if (height > kMaxMediaHeight) {
    height = kMaxMediaHeight;
    width = pw * kMaxMediaHeight / ph;
  }
  return {width, height};
}

// Centres one line (cut to `max_width`) on `center`.
void draw_centered(ViewFrame& frame, std::string_view text, const TextStyle& st, Point center,
                   double max_width) {
  const auto opts = one_line(max_width);
  const Size size = frame.text().measure(text, st, opts);
  frame.painter.draw_text(text, {center.x - size.width / 2, center.y - size.height / 2}, st, opts);
}

void draw_denied(ViewFrame& frame, const Rect& card, std::string_view name, double s) {
  const auto& theme = frame.theme;
  frame.painter.fill_rounded_rect(card, kCardRadius, theme.surface_overlay);
  frame.painter.stroke_rounded_rect(card, kCardRadius, theme.edge, 1);
  const double mid = card.center().y;
  const double lock_y = mid - (card.height() <= 64 ? 6 : 8) * s;
  const double notice_y = lock_y + 16 * s;
  const double name_y = notice_y + 24 * s;
  const TextStyle name_style = style(11, theme.text_faint);
  const double name_half = frame.text().line_height(name_style) / 2;
  if (name_y + name_half <= card.y1) {
    draw_centered(frame, "🔒", style(18, theme.text_muted), {card.center().x, lock_y},
                  card.width() - 12);
    draw_centered(frame, "Access not granted", style(12, theme.text_muted),
                  {card.center().x, notice_y}, card.width() - 12);
    draw_centered(frame, name, name_style, {card.center().x, name_y}, card.width() - 24);
    return;
  }
  // A short card (a file row) has no room for the stacked lines, so they sit side by side:
  // lock in the icon box, notice and name in the text column.
  const double m = std::min(s, 1.2);
  const Rect box{card.x0 + 10 * m, card.y0 + 11 * s, card.x0 + 46 * m,
                 std::max(card.y1 - 11 * s, card.y0 + 11 * s)};
  frame.painter.fill_rounded_rect(box, 9, theme.surface_sunken);
  draw_centered(frame, "🔒", style(16, theme.text_muted), box.center(), box.width());
  const double tx = box.x1 + 12 * m;
  const double text_w = std::max(card.x1 - tx - 12, 1.0);
  const TextStyle notice = style(12.5, theme.text_muted, zarn_ui::FontWeight::Semibold);
  const double nh = frame.text().line_height(notice);
  const double block = nh + 2 + frame.text().line_height(name_style);
  const double top = mid - block / 2;
  frame.painter.draw_text("Access not granted", {tx, top}, notice, one_line(text_w));
  frame.painter.draw_text(name, {tx, top + nh + 2}, name_style,
                          one_line(std::min(text_w, card.width() - 24)));
}

void draw_caption_strip(ViewFrame& frame, const Rect& card, std::string_view name, std::uint32_t w,
                        std::uint32_t h, double s) {
  const Rect strip{card.x0, std::max(card.y1 - 30 * s, card.y0), card.x1, card.y1};
  frame.painter.push_clip(card, kCardRadius);
  frame.painter.fill_rect(strip, Color{0, 0, 0, 0.55});
  frame.painter.pop_clip();
  const double left = card.x0 + 12 * std::min(s, 1.2);
  const std::string dims = std::to_string(w) + "×" + std::to_string(h);
  const TextStyle dim_style = style(11, Color{1, 1, 1, 0.7});
  const Size dim_size = frame.text().measure(dims, dim_style);
  const double dims_x = card.x1 - 12 - dim_size.width;
  const double name_room = dims_x - 10 - left;
  frame.painter.draw_text("🖼  " + std::string(name), {left, card.y1 - 22 * s},
                          style(12, Color{1, 1, 1, 0.95}, zarn_ui::FontWeight::Medium),
                          one_line(name_room > 40 ? name_room : card.x1 - 12 - left));
  if (name_room > 40) {
    frame.painter.draw_text(dims, {dims_x, card.y1 - 22 * s + 1}, dim_style);
  }
}

void draw_image_card(ViewFrame& frame, const Rect& card, const document::ImageAttachment& img,
                     double s) {
  const auto& theme = frame.theme;
  std::shared_ptr<const zarn_ui::Image> picture;
  bool failed = false;
  if (frame.images) {
    auto found = frame.images->get(image_key(img.blob));
    if (found.state == zarn_ui::ImageState::Ready) picture = found.image;
    failed = found.state == zarn_ui::ImageState::Failed;
  }
  if (picture) {
    frame.painter.fill_rounded_rect(card, kCardRadius, theme.surface_sunken);
    zarn_ui::image_store::paint_image_cover(frame.painter, *picture, card, kCardRadius);
  } else {
    frame.painter.fill_rounded_rect(card, kCardRadius, theme.surface_overlay);
    const Point mid = card.center();
    draw_centered(frame, "🖼", style(18, theme.text_muted), {mid.x, mid.y - 4},
                  card.width() - 12);
    draw_centered(frame, image_status_text(img.blob, failed), style(11, theme.text_faint),
                  {mid.x, mid.y + 28}, card.width() - 24);
  }
  draw_caption_strip(frame, card, img.name, img.w, img.h, s);
  frame.painter.stroke_rounded_rect(card, kCardRadius, theme.edge, 1);
}

void draw_video_card(ViewFrame& frame, const Rect& card, const document::VideoAttachment& vid) {
  const auto& theme = frame.theme;
  frame.painter.fill_rounded_rect(card, kCardRadius, theme.surface_sunken);
  frame.painter.push_clip(card, kCardRadius);
  // A faint wash from the top so the poster does not read as an empty box. Drawn as solid bands:
  // a gradient across a card this size costs milliseconds of every frame.
  for (int band = 0; band < kWashBands; ++band) {
    const double t0 = static_cast<double>(band) / kWashBands;
    const double t1 = static_cast<double>(band + 1) / kWashBands;
    const Rect strip{card.x0, card.y0 + t0 * card.height(), card.x1,
                     card.y0 + t1 * card.height()};
    frame.painter.fill_rect(strip, theme.accent.with_alpha(0.14 * (1 - t0)));
  }
  const Point mid = card.center();
  const double lift = card.height() >= 120 ? 18 : 0;
  const double r = std::clamp(card.height() * 0.16, 14.0, 26.0);
  const Point play{mid.x, mid.y - lift};
  frame.painter.fill_circle({play.x, play.y + 2}, r + 3, Color{0, 0, 0, 0.25});
  frame.painter.fill_circle(play, r, theme.surface_overlay);
  frame.painter.stroke_circle(play, r, theme.edge, 1);
  draw_centered(frame, "▶", style(20, theme.text_strong), {play.x + 1.5, play.y}, 2 * r);
  if (lift > 0) {
    draw_centered(frame, "🎬  " + vid.name,
                  style(12.5, theme.text_strong, zarn_ui::FontWeight::Medium),
                  {mid.x, play.y + r + 16}, card.width() - 24);
    draw_centered(frame, video_card_subtitle(vid.w, vid.h, vid.size), style(11, theme.text_muted),
                  {mid.x, play.y + r + 34}, card.width() - 24);
  }
  frame.painter.pop_clip();
  frame.painter.stroke_rounded_rect(card, kCardRadius, theme.edge, 1);
}

void draw_file_card(ViewFrame& frame, const Rect& card, const document::FileAttachment& file,
                    double s) {
  const auto& theme = frame.theme;
  const double m = std::min(s, 1.2);
  frame.painter.fill_rounded_rect(card, kCardRadius, theme.surface_overlay);
  frame.painter.stroke_rounded_rect(card, kCardRadius, theme.edge, 1);
  const Rect box{card.x0 + 10 * m, card.y0 + 11 * s, card.x0 + 46 * m,
                 std::max(card.y1 - 11 * s, card.y0 + 11 * s)};
  frame.painter.fill_rounded_rect(box, 9, theme.accent.with_alpha(0.16));
  draw_centered(frame, "📄", style(16, theme.text_strong), box.center(), box.width());
  const double tx = box.x1 + 12 * m;
  const TextStyle name_style = style(13.5, theme.text_strong, zarn_ui::FontWeight::Semibold);
  const TextStyle sub_style = style(11, theme.text_muted);
  const double nh = frame.text().line_height(name_style);
  const double block = nh + 1 + frame.text().line_height(sub_style);
  const double top = card.center().y - block / 2;
  frame.painter.draw_text(file.name, {tx, top}, name_style, one_line(card.width() - 70));
  frame.painter.draw_text(file_card_subtitle(file.name, file.size), {tx, top + nh + 1}, sub_style,
                          one_line(card.width() - 70));
}

}  // namespace

bool attachment_access_allowed(std::string_view blob, bool can_read) {
  if (!is_hex_id(blob) && !is_demo_key(blob)) return false;
  return can_read;
}

std::string image_key(std::string_view blob) {
  if (blob.starts_with(kDemoPrefix)) return std::string(blob);
  return std::string(kBlobPrefix) + std::string(blob);
}

Size attachment_card_size(const document::Attachment& attachment, double available, double scale,
                          bool access_allowed) {
  if (const auto* img = std::get_if<document::ImageAttachment>(&attachment)) {
    return media_size(available, img->w, img->h);
  }
  if (const auto* vid = std::get_if<document::VideoAttachment>(&attachment)) {
    if (vid->w != 0 && vid->h != 0) return media_size(available, vid->w, vid->h);
    double width = std::min(usable_width(available), 380.0);
    double height = width * 9 / 16;
    if (height > kMaxMediaHeight) {
      height = kMaxMediaHeight;
      width = kMaxMediaHeight * 16 / 9;
    }
    return {width, height};
  }
  return {std::min(usable_width(available), 360.0), access_allowed ? 58 : 58 * scale};
}

Size draw_attachment_card(ViewFrame& frame, const document::Attachment& attachment, Point origin,
                          double available) {
  const double s = frame.scale();
  const std::string& blob = attachment_blob(attachment);
  // Only a well-formed reference gets as far as the permission context.
  const bool allowed = attachment_access_allowed(blob, true) && frame.state.can_read();
  const Size size = attachment_card_size(attachment, available, s, allowed);
  if (size.width <= 0 || size.height <= 0) return size;
  const Rect card = Rect::from_xywh(origin.x, origin.y, size.width, size.height);
  frame.painter.push_clip(card);
  if (!allowed) {
    draw_denied(frame, card, attachment_name(attachment), s);
  } else if (const auto* img = std::get_if<document::ImageAttachment>(&attachment)) {
    draw_image_card(frame, card, *img, s);
  } else if (const auto* vid = std::get_if<document::VideoAttachment>(&attachment)) {
    draw_video_card(frame, card, *vid);
  } else {
    draw_file_card(frame, card, std::get<document::FileAttachment>(attachment), s);
  }
  frame.painter.pop_clip();
  return size;
}

std::string file_card_subtitle(std::string_view name, std::uint64_t size) {
  if (auto slash = name.find_last_of('/'); slash != std::string_view::npos) {
    name = name.substr(slash + 1);
  }
  const auto dot = name.rfind('.');
  // "notes", ".bashrc" and "draft." carry no extension.
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) {
    return zarn_ui::format::bytes(size);
  }
  std::string ext(name.substr(dot + 1));
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return ext + " · " + zarn_ui::format::bytes(size);
}

std::string video_card_subtitle(std::uint32_t w, std::uint32_t h, std::uint64_t size) {
  if (w == 0 || h == 0) return "video · " + zarn_ui::format::bytes(size);
  return std::to_string(w) + "×" + std::to_string(h) + " · " + zarn_ui::format::bytes(size);
}

std::string image_status_text(std::string_view blob, bool failed) {
  if (blob.starts_with(kDemoPrefix)) return "Loading image…";
  // Bytes the decoder refused will not decode on a later frame either.
  if (failed) return "Shared image unavailable";
  switch (strata::blobstore::state(blob)) {
    case strata::blobstore::BlobState::Present:
      return "Decoding image…";
    case strata::blobstore::BlobState::Pending:
      return "Loading shared image…";
    case strata::blobstore::BlobState::Unavailable:
      break;
  }
  return "Shared image unavailable";
}

const std::string& attachment_blob(const document::Attachment& attachment) {
  return std::visit([](const auto& a) -> const std::string& { return a.blob; }, attachment);
}

const std::string& attachment_name(const document::Attachment& attachment) {
  return std::visit([](const auto& a) -> const std::string& { return a.name; }, attachment);
}

}  // namespace chat::views
