#include <algorithm>
#include <cmath>
#include <string>

#include "attachments/file_kind.h"
#include "attachments/workspace_folder.h"
#include "platform/zarn_ui/format.h"
#include "platform/zarn_ui/image_store.h"
#include "views/people.h"
#include "views/popovers.h"

namespace chat::views {

namespace {

using zarn_ui::FontWeight;
using zarn_ui::Rect;
using zarn_ui::Size;
using zarn_ui::TextLayoutOptions;
using zarn_ui::TextStyle;

constexpr double kMargin = 12;     // kept inside the bounds
constexpr double kAnchorGap = 10;  // between the card's bottom and the anchor's top
constexpr double kRadius = 14;
constexpr double kPadX = 16;
constexpr double kPadTop = 14;
constexpr double kRowInset = 6;  // rows reach this close to the card's sides
constexpr double kRowsGap = 10;  // above the first row
constexpr double kNoteGap = 8;   // above the note
constexpr double kPadBottom = 12;
constexpr double kRowsBottom = 6;  // below the last row when no note follows
constexpr double kStatusSize = 10.5;
constexpr double kNoteSize = 12;
constexpr double kStatusGap = 3;  // between title and status line
constexpr int kStatusLines = 2;   // error texts can be long; they wrap once

constexpr std::string_view kLoading = "Loading attachments\xE2\x80\xA6";

double usable_scale(double s) {
  return std::isfinite(s) && s > 0 ? s : 1;
}

double row_height(double s) {
  return 52 * std::min(s, 1.2);
}

TextStyle title_style(const zarn_ui::Theme& theme) {
  return style(13.5, theme.text_strong, FontWeight::Bold);
}

TextLayoutOptions status_options(double width) {
  TextLayoutOptions o;
  o.wrap_width = std::max(width, 1.0);
  o.ellipsize = zarn_ui::Ellipsize::End;
  o.max_lines = kStatusLines;
  return o;
}

bool mentions_failure(std::string_view status) {
  return status.find("failed") != std::string_view::npos ||
         status.find("cancelled") != std::string_view::npos;
}

// The low edge wins when the space is smaller than the extent.
double keep_inside(double want, double lo, double hi, double extent) {
  return std::max(lo + kMargin, std::min(want, hi - kMargin - extent));
}

Rect anchor_of(const ViewFrame& frame) {
  for (auto it = frame.regions.rbegin(); it != frame.regions.rend(); ++it) {
    if (it->id.kind == ControlKind::Attach) return it->rect;
  }
  if (!frame.state.layout.main_composer.empty()) return frame.state.layout.main_composer;
  const Rect& b = frame.state.layout.bounds;
  return {b.x0, b.y1 - 12, b.x0, b.y1 - 12};
}

std::string empty_note(const AttachPopoverState& attach) {
  if (attach.outstanding_listing) return std::string(kLoading);
  const std::string folder =
      attach.folder.empty() ? attachments::workspace_folder().string() : attach.folder;
  return "No attachments in " + folder;
}

void centred_text(zarn_ui::Painter& p, const Rect& r, std::string_view text, const TextStyle& st) {
  const Size sz = p.text().measure(text, st);
  p.draw_text(text, {r.x0 + (r.width() - sz.width) / 2, r.y0 + (r.height() - sz.height) / 2}, st);
}

void draw_row(ViewFrame& frame, const attachments::ListingEntry& entry, const Rect& row,
              bool hovered) {
  auto& p = frame.painter;
  const auto& theme = frame.theme;
  if (hovered) {
    p.shadow(row, 10, {6, {0, 2}, {0, 0, 0, 0.25}});
    p.fill_rounded_rect(row, 10, theme.text_strong.with_alpha(0.08));
    p.stroke_rounded_rect(row, 10, theme.edge, 1);
  }

  const double side = row.height() - 14;
  const Rect thumb = Rect::from_xywh(row.x0 + 8, row.y0 + 7, side, side);
  const bool picture = attachments::kind_of_name(entry.name) == attachments::FileKind::Picture;
  bool painted = false;
  if (picture && frame.images) {
    const auto look = frame.images->get(entry.path);
    if (look.state == zarn_ui::ImageState::Ready && look.image) {
      zarn_ui::image_store::paint_image_cover(p, *look.image, thumb, 8);
      p.stroke_rounded_rect(thumb, 8, theme.edge, 1);
      painted = true;
    }
  }
  if (!painted) {
    p.fill_rounded_rect(thumb, 8, theme.surface_raised);
    centred_text(p, thumb, picture ? "🖼" : "📄", style(16, theme.text_strong));
  }

  const double x = thumb.x1 + 12;
  const double width = std::max(row.x1 - 10 - x, 1.0);
  const auto name_style = style(13.5, theme.text_strong, FontWeight::Medium);
  const auto size_style = style(11, theme.text_muted);
  const std::string size = zarn_ui::format::bytes(entry.size);
  const std::string& name = entry.name.empty() ? entry.path : entry.name;
  const double name_h = frame.text().measure(name, name_style, one_line(width)).height;
  const double size_h = frame.text().measure(size, size_style).height;
  const double top = row.y0 + (row.height() - (name_h + 1 + size_h)) / 2;
  p.draw_text(name, {x, top}, name_style, one_line(width));
  p.draw_text(size, {x, top + name_h + 1}, size_style, one_line(width));
}

}  // namespace

std::size_t attach_popover_max_rows(double scale) {
  const double s = usable_scale(scale);
  if (s <= 1.15) return 6;
  if (s <= 1.5) return 4;
  return 2;
}

AttachPopoverLayout attach_popover_layout(const ViewFrame& frame) {
  const auto& st = frame.state;
  const auto& attach = st.attach;
  const Rect& bounds = st.layout.bounds;
  auto& text = frame.text();
  const double s = usable_scale(frame.scale());
  AttachPopoverLayout out;

  // Fitting the bounds wins over the minimum width.
  const double width =
      std::max(1.0, std::min(std::max(std::min(s, 1.25) * 360, 220.0), bounds.width() - 24));
  const double inner = std::max(width - 2 * kPadX, 1.0);

  const std::size_t files = attach.files.size();
  const std::string empty = files == 0 ? empty_note(attach) : std::string();
  // The empty note already says it; the same words twice read as a glitch.
  if (!attach.status.empty() && attach.status != empty) {
    out.status = attach.status;
    out.status_alarm = mentions_failure(attach.status);
  }

  const double title_h = text.measure("Share a file", title_style(frame.theme)).height;
  double header = kPadTop + title_h;
  double status_h = 0;
  if (!out.status.empty()) {
    status_h =
        text.measure(out.status, style(kStatusSize, frame.theme.text_muted), status_options(inner))
            .height;
    header += kStatusGap + status_h;
  }
  header += kRowsGap;
  const double note_h =
      kNoteGap + text.line_height(style(kNoteSize, frame.theme.text_muted)) + kPadBottom;

  // Rows that would leave the bounds join the "+N more" count instead.
  const double rh = row_height(s);
  const double room = bounds.height() - 2 * kMargin - header;
  std::size_t shown = std::min(files, attach_popover_max_rows(s));
  auto fitting = [&](double tail) {
    return static_cast<std::size_t>(std::max(0.0, std::floor((room - tail) / rh)));
  };
  if (files > 0 && (shown < files || fitting(kRowsBottom) < shown)) {
    shown = std::min(shown, fitting(note_h));
  }

  if (files == 0) {
    out.note = empty;
  } else if (shown < files) {
    out.note = "+" + std::to_string(files - shown) + " more in the workspace";
  }

  double height = header + static_cast<double>(shown) * rh;
  height += out.note.empty() ? kRowsBottom : note_h;
  height = std::max(height, 1.0);

  const Rect anchor = anchor_of(frame);
  const double x = keep_inside(anchor.x0, bounds.x0, bounds.x1, width);
  const double y = keep_inside(anchor.y0 - kAnchorGap - height, bounds.y0, bounds.y1, height);
  out.card = Rect::from_xywh(x, y, width, height);

  out.title = {x + kPadX, y + kPadTop};
  out.status_at = {x + kPadX, y + kPadTop + title_h + kStatusGap};
  double row_y = y + header;
  for (std::size_t i = 0; i < shown; ++i) {
    out.rows.push_back({x + kRowInset, row_y, x + width - kRowInset, row_y + rh});
    row_y += rh;
  }
  out.note_at = {x + kPadX, row_y + kNoteGap};
  return out;
}

Rect attach_popover_rect(const ViewFrame& frame) {
  return attach_popover_layout(frame).card;
}

void draw_attach_popover(ViewFrame& frame) {
  auto& st = frame.state;
  if (!st.attach.open) return;
  const Rect& bounds = st.layout.bounds;
  const AttachPopoverLayout layout = attach_popover_layout(frame);
  frame.add_region(bounds, ControlId::of(ControlKind::Dismiss));

  auto& p = frame.painter;
  const auto& theme = frame.theme;
  const Rect& card = layout.card;
  st.layout.popover_cards.push_back(card);
  const double inner = std::max(card.width() - 2 * kPadX, 1.0);
  p.shadow(card, kRadius, {18, {0, 8}, {0, 0, 0, 0.45}});
  p.fill_rounded_rect(card, kRadius, theme.surface_overlay);
  p.stroke_rounded_rect(card, kRadius, theme.edge, 1);
  p.push_clip(card, kRadius);

  p.draw_text("Share a file", layout.title, title_style(theme), one_line(inner));
  if (!layout.status.empty()) {
    p.draw_text(layout.status, layout.status_at,
                style(kStatusSize, layout.status_alarm ? theme.danger : theme.text_muted),
                status_options(inner));
  }

  // A running import takes no picks; its rows fade so the popover does not look stuck.
  const bool picking = !st.attach.import_running;
  if (!picking) p.push_layer(0.5);
  for (std::size_t i = 0; i < layout.rows.size(); ++i) {
    const auto& entry = st.attach.files[i];
    ControlId id = ControlId::of(ControlKind::AttachPick, entry.path);
    const bool hovered = picking && st.hovered && *st.hovered == id;
    draw_row(frame, entry, layout.rows[i], hovered);
    if (picking) frame.add_region(layout.rows[i], std::move(id));
  }
  if (!picking) p.pop_layer();

  if (!layout.note.empty()) {
    p.draw_text(layout.note, layout.note_at, style(kNoteSize, theme.text_muted), one_line(inner));
  }
  p.pop_clip();
}

}  // namespace chat::views
