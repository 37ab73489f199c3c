#include <algorithm>
#include <cmath>
#include <functional>
#include <variant>

#include "platform/zarn_ui/presence.h"
#include "views/attachment_card.h"
#include "views/conversation.h"
#include "views/conversation_detail.h"
#include "views/people.h"

namespace chat::views::conversation_detail {

namespace {

using zarn_ui::Color;
using zarn_ui::Point;
using zarn_ui::Rect;
using zarn_ui::Size;
using zarn_ui::TextLayoutOptions;
using zarn_ui::TextSpan;
using zarn_ui::TextStyle;

constexpr double kAvatarInset = 16;
constexpr double kAvatarRadius = 20;
constexpr double kTextInset = 70;
constexpr double kHeaderPad = 10;   // above a group's first message
constexpr double kFollowPad = 2;    // above a continuation
constexpr double kHeaderLine = 22;  // author line
constexpr double kBodyMin = 19;
constexpr double kChipGap = 6;
constexpr double kAddChipWidth = 34;
constexpr double kThreadCardHeight = 38;
constexpr double kThreadCardMaxWidth = 420;
constexpr double kEditPad = 10;
constexpr double kEditButtonHeight = 24;
constexpr double kCancelWidth = 62;

constexpr double kAuthorSize = 14.5;
constexpr double kTimeSize = 11.5;
constexpr double kBodySize = 15;
constexpr double kEditedSize = 11.5;
constexpr double kChipSize = 12.5;
constexpr double kAddChipSize = 14;
constexpr double kReplySize = 13;
constexpr double kLastReplySize = 11;
constexpr double kHintSize = 11;

constexpr std::string_view kEditedText = "(edited) · view history";
constexpr std::string_view kEditedPlain = "(edited) · ";

void hash_mix(std::uint64_t& h, std::uint64_t v) {
  h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
}
std::uint64_t hash_text(std::string_view s) {
  return std::hash<std::string_view>{}(s);
}
std::uint64_t hash_double(double d) {
  return std::hash<double>{}(d);
}

const std::string& attachment_blob(const document::Attachment& a) {
  return std::visit([](const auto& v) -> const std::string& { return v.blob; }, a);
}

TextLayoutOptions wrapped(double width) {
  TextLayoutOptions o;
  o.wrap_width = width;
  return o;
}

Color mention_color(const ViewFrame& frame, std::string_view user) {
  if (auto it = frame.state.roster.find(user); it != frame.state.roster.end()) {
    return it->second.color;
  }
  return zarn_ui::presence::user_color(user, frame.theme);
}

std::vector<TextSpan> body_spans(const ViewFrame& frame, const document::Message& m) {
  std::vector<TextSpan> spans;
  if (m.mentions.empty()) return spans;
  for (const auto& mention : usable_mentions(m.text, m.mentions)) {
    const Color base = mention_color(frame, mention.user);
    TextSpan span;
    span.start = static_cast<std::size_t>(mention.start);
    span.end = static_cast<std::size_t>(mention.start + mention.len);
    span.color = legible_on(base, frame.theme.surface_base);
    span.weight = zarn_ui::FontWeight::Semibold;
    if (frame.state.is_self(mention.user)) span.background = base.with_alpha(0.22);
    spans.push_back(span);
  }
  return spans;
}

TextStyle body_style(const ViewFrame& frame) {
  return {kBodySize, zarn_ui::FontWeight::Regular, frame.theme.text_strong};
}

struct Chip {
  Rect rect;
  std::string label;  // empty for the add chip
  const document::ReactionGroup* group = nullptr;
};

// Reaction chips then the add chip, wrapped inside the text column; `y` is the line's top.
std::vector<Chip> place_chips(ViewFrame& frame, const RowColumns& cols, const document::Message& m,
                              double y, double& bottom) {
  auto& text = frame.text();
  std::vector<Chip> chips;
  struct Pending {
    double w;
    double h;
    std::string label;
    const document::ReactionGroup* group;
  };
  std::vector<Pending> pending;
  for (const auto& g : m.reactions) {
    std::string label = reaction_chip_label(g);
    const Size sz = text.measure(label, {kChipSize});
    pending.push_back({sz.width + 20, std::max(sz.height + 2 * 4, 26.0), std::move(label), &g});
  }
  const Size add = text.measure("☺", {kAddChipSize});
  pending.push_back({kAddChipWidth, std::max(add.height + 2 * 4, 26.0), {}, nullptr});

  const double limit = cols.text_x + cols.wrap;
  double x = cols.text_x;
  double line_top = y;
  double line_h = 0;
  for (auto& c : pending) {
    if (x > cols.text_x && x + c.w > limit) {
      line_top += line_h + kChipGap;
      line_h = 0;
      x = cols.text_x;
    }
    chips.push_back({Rect::from_xywh(x, line_top, c.w, c.h), std::move(c.label), c.group});
    x += c.w + kChipGap;
    line_h = std::max(line_h, c.h);
  }
  bottom = line_top + line_h;
  return chips;
}

struct Painting {
  const Rect* clip;
};

void add_clipped(ViewFrame& frame, const Rect& clip, const Rect& rect, ControlId id) {
  const Rect r = rect.intersect(clip);
  if (r.empty()) return;
  frame.add_region(r, std::move(id));
}

void paint_chip_text(ViewFrame& frame, const Rect& r, std::string_view label, double size,
                     Color color) {
  const TextStyle style{size, zarn_ui::FontWeight::Regular, color};
  const Size sz = frame.text().measure(label, style);
  frame.painter.draw_text(
      label, {r.x0 + (r.width() - sz.width) / 2, r.y0 + (r.height() - sz.height) / 2}, style);
}

// The edit card replacing the body; returns its height.
double walk_edit_card(ViewFrame& frame, const RowColumns& cols, double y, const Painting* paint) {
  auto& st = frame.state;
  auto& text = frame.text();
  const double x0 = cols.text_x;
  const double x1 = cols.text_x + cols.wrap;
  const double input_wrap = std::max(cols.wrap - 2 * 12, 20.0);
  const double input_h = std::max(st.edit_input.content_height(text, input_wrap), kBodyMin);
  const double height = kEditPad + input_h + 8 + kEditButtonHeight + kEditPad;
  if (!paint) return height;

  const auto& theme = frame.theme;
  auto& p = frame.painter;
  const Rect card{x0, y, x1, y + height};
  p.fill_rounded_rect(card, 10, theme.surface_sunken);
  p.stroke_rounded_rect(card, 10, theme.focus, 1.6);

  const Rect input{x0 + 12, y + kEditPad, x1 - 12, y + kEditPad + input_h};
  if (st.edit_input.placeholder().empty()) st.edit_input.set_placeholder("Edit message…");
  p.push_clip(card.intersect(*paint->clip));
  st.edit_input.draw(p, input, theme);
  p.pop_clip();
  add_clipped(frame, *paint->clip, input, ControlId::of(ControlKind::FocusEdit));

  const double fy = input.y1 + 8;
  const Rect cancel{x1 - 12 - kCancelWidth, fy, x1 - 12, fy + kEditButtonHeight};
  const double save_w = text.measure("Save", {kChipSize}).width + 24;
  const Rect save{cancel.x0 - 8 - save_w, fy, cancel.x0 - 8, fy + kEditButtonHeight};

  const TextStyle hint_style{kHintSize, zarn_ui::FontWeight::Regular, theme.text_muted};
  const double hint_h = text.measure("Enter to save · Esc to cancel", hint_style).height;
  TextLayoutOptions hint_opts = wrapped(std::max(save.x0 - 8 - (x0 + 12), 1.0));
  hint_opts.ellipsize = zarn_ui::Ellipsize::End;
  hint_opts.max_lines = 1;
  p.draw_text("Enter to save · Esc to cancel", {x0 + 12, fy + (kEditButtonHeight - hint_h) / 2},
              hint_style, hint_opts);

  p.fill_rounded_rect(save, 7, theme.accent);
  paint_chip_text(frame, save, "Save", kChipSize, theme.accent_text);
  add_clipped(frame, *paint->clip, save, ControlId::of(ControlKind::EditSave));
  p.fill_rounded_rect(cancel, 7, theme.surface_overlay);
  paint_chip_text(frame, cancel, "Cancel", kChipSize, theme.text_strong);
  add_clipped(frame, *paint->clip, cancel, ControlId::of(ControlKind::EditCancel));
  return height;
}

// Measures, and paints when `paint` is set, every part of a row below `top`; returns the
// row's height.
double walk_row(ViewFrame& frame, const RowColumns& cols, const RowInput& row, double top,
                const Painting* paint, const RowEstimator* guess = nullptr) {
  const auto& m = *row.message;
  const auto& theme = frame.theme;
  auto& st = frame.state;
  auto& text = frame.text();
  auto& p = frame.painter;
  const double pad = row.header ? kHeaderPad : kFollowPad;
  double y = top + pad;

  if (row.header) {
    if (paint) {
      draw_user_avatar(frame, {cols.left + kAvatarInset + kAvatarRadius, y + kAvatarRadius},
                       kAvatarRadius, m.author, theme.surface_base);
      const TextStyle author{kAuthorSize, zarn_ui::FontWeight::Bold,
                             user_color(st, frame.model, theme, m.author)};
      const std::string label = author_label(st, frame.model, m.author);
      TextLayoutOptions opts = wrapped(std::max(cols.wrap - 60, 40.0));
      opts.ellipsize = zarn_ui::Ellipsize::End;
      opts.max_lines = 1;
      const Size a = p.draw_text(label, {cols.text_x, y}, author, opts);
      const TextStyle time{kTimeSize, zarn_ui::FontWeight::Regular, theme.text_faint};
      p.draw_text(time_label(m.ts), {cols.text_x + a.width + 8, y + 3.5}, time);
    }
    y += kHeaderLine;
  }

  if (row_is_editing(frame, row)) {
    y += walk_edit_card(frame, cols, y, paint) + 2;
  } else {
    if (!(m.text.empty() && m.attachment)) {
      const TextStyle style = body_style(frame);
      const auto spans = body_spans(frame, m);
      const TextLayoutOptions opts = wrapped(cols.wrap);
      double h = 0;
      if (guess) {
        h = guess->body_height(m.text, cols.wrap);
      } else if (paint) {
        h = spans.empty() ? p.draw_text(m.text, {cols.text_x, y}, style, opts).height
                          : text.draw_rich(p, m.text, spans, {cols.text_x, y}, style, opts).height;
      } else {
        h = spans.empty() ? text.measure(m.text, style, opts).height
                          : text.measure_rich(m.text, spans, style, opts).height;
      }
      y += std::max(h, kBodyMin) + 2;
    }
    if (m.edited) {
      if (paint) {
        TextSpan link;
        link.start = kEditedPlain.size();
        link.end = kEditedText.size();
        link.color = theme.accent;
        const TextStyle style{kEditedSize, zarn_ui::FontWeight::Regular, theme.text_faint};
        const Size sz = text.draw_rich(p, kEditedText, std::span<const TextSpan>(&link, 1),
                                       {cols.text_x, y + 1}, style);
        const Rect r{cols.text_x, y, cols.text_x + sz.width, y + 18};
        ControlId id = ControlId::of(ControlKind::EditHistory, m.id);
        id.anchor = r;
        add_clipped(frame, *paint->clip, r, std::move(id));
      }
      y += 18;
    }
  }

  if (m.attachment) {
    const bool allowed = attachment_access_allowed(attachment_blob(*m.attachment), st.can_read());
    const Size sz = attachment_card_size(*m.attachment, cols.wrap, frame.scale(), allowed);
    if (sz.height > 0) {
      y += 4;
      if (paint) draw_attachment_card(frame, *m.attachment, {cols.text_x, y}, cols.wrap);
      y += sz.height + 4;
    }
  }

  if (!m.reactions.empty() && guess) {
    y = guess->chips_bottom(m, cols.wrap, y + 4) + 2;
  } else if (!m.reactions.empty()) {
    y += 4;
    double bottom = y;
    const auto chips = place_chips(frame, cols, m, y, bottom);
    if (paint) {
      for (const auto& c : chips) {
        if (c.group) {
          const bool mine = reacted_by_self(st, *c.group);
          if (mine) {
            p.fill_rounded_rect(c.rect, c.rect.height() / 2, theme.accent.with_alpha(0.16));
            p.stroke_rounded_rect(c.rect.inset(0.75), c.rect.height() / 2 - 0.75, theme.accent,
                                  1.5);
          } else {
            p.fill_rounded_rect(c.rect, c.rect.height() / 2, theme.surface_overlay);
          }
          paint_chip_text(frame, c.rect, c.label, kChipSize,
                          mine ? theme.text_strong : theme.text_muted);
          add_clipped(frame, *paint->clip, c.rect,
                      ControlId::of(ControlKind::Reaction, m.id, c.group->emoji));
        } else {
          p.fill_rounded_rect(c.rect, c.rect.height() / 2, theme.surface_raised);
          p.stroke_rounded_rect(c.rect, c.rect.height() / 2, theme.edge, 1);
          paint_chip_text(frame, c.rect, "☺", kAddChipSize, theme.text_muted);
          ControlId id = ControlId::of(ControlKind::AddReaction, m.id);
          id.anchor = c.rect;
          add_clipped(frame, *paint->clip, c.rect, std::move(id));
        }
      }
    }
    y = bottom + 2;
  }

  if (row.thread && row.thread->count > 0) {
    y += 6;
    if (paint) {
      const auto& t = *row.thread;
      const Rect card{cols.text_x, y, cols.text_x + std::min(cols.wrap, kThreadCardMaxWidth),
                      y + kThreadCardHeight};
      const bool open = st.selection.open_thread == m.id;
      p.fill_rounded_rect(card, 10, theme.surface_raised);
      p.stroke_rounded_rect(card, 10, open ? theme.accent : theme.edge, open ? 1.6 : 1);
      const double cy = card.center().y;
      double x = card.x0 + 12 + 11;
      for (const auto& id : t.repliers) {
        p.fill_circle({x, cy}, 12.5, theme.surface_raised);
        draw_user_avatar(frame, {x, cy}, 11, id, theme.surface_raised, false);
        x += 17;
      }
      const double label_x = x - 17 + 11 + 10;
      const TextStyle count{kReplySize, zarn_ui::FontWeight::Semibold, theme.accent};
      const std::string count_text = reply_count_label(t.count);
      const Size cs = text.measure(count_text, count);
      p.draw_text(count_text, {label_x, cy - cs.height / 2}, count);
      const TextStyle last{kLastReplySize, zarn_ui::FontWeight::Regular, theme.text_muted};
      const std::string last_text = "last reply " + time_label(t.last_ts);
      const Size ls = text.measure(last_text, last);
      if (card.x1 - 14 - ls.width > label_x + cs.width + 8) {
        p.draw_text(last_text, {card.x1 - 14 - ls.width, cy - ls.height / 2}, last);
      }
      add_clipped(frame, *paint->clip, card, ControlId::of(ControlKind::OpenThread, m.id));
    }
    y += kThreadCardHeight;
  }

  y += 2;
  double height = y - top;
  if (row.header) height = std::max(height, kHeaderPad + 2 * kAvatarRadius + 4);
  return height;
}

}  // namespace

ThreadMap summarize_threads(const std::vector<document::Message>& messages) {
  ThreadMap map;
  for (const auto& m : messages) {
    if (!m.parent) continue;
    auto& t = map[*m.parent];
    ++t.count;
    if (t.count == 1 || m.ts >= t.last_ts) t.last_ts = m.ts;
    if (t.repliers.size() < 3 &&
        std::find(t.repliers.begin(), t.repliers.end(), m.author) == t.repliers.end()) {
      t.repliers.push_back(m.author);
    }
  }
  return map;
}

RowColumns row_columns(double left, double right) {
  RowColumns c;
  c.left = left;
  c.right = right;
  c.text_x = left + kTextInset;
  c.wrap = std::max(right - c.text_x - 18, 80.0);
  return c;
}

bool row_is_editing(const ViewFrame& frame, const RowInput& row) {
  return frame.state.editing_message && *frame.state.editing_message == row.message->id;
}

std::uint64_t row_key(const ViewFrame& frame, const RowColumns& cols, const RowInput& row) {
  const auto& m = *row.message;
  std::uint64_t h = hash_text(m.text);
  hash_mix(h, hash_double(cols.wrap));
  hash_mix(h, hash_double(frame.scale()));
  hash_mix(h, (row.header ? 1u : 0u) | (m.edited ? 2u : 0u) | (frame.state.can_read() ? 4u : 0u));
  for (const auto& mention : m.mentions) {
    hash_mix(h, mention.start);
    hash_mix(h, mention.len);
  }
  hash_mix(h, m.reactions.size());
  for (const auto& g : m.reactions) {
    hash_mix(h, hash_text(g.emoji));
    hash_mix(h, g.users.size());
  }
  if (m.attachment) {
    hash_mix(h, m.attachment->index() + 1);
    std::visit(
        [&](const auto& a) {
          hash_mix(h, hash_text(a.blob));
          hash_mix(h, hash_text(a.name));
          if constexpr (requires { a.w; }) {
            hash_mix(h, a.w);
            hash_mix(h, a.h);
          }
          if constexpr (requires { a.size; }) hash_mix(h, a.size);
        },
        *m.attachment);
  }
  hash_mix(h, row.thread ? row.thread->count : 0);
  return h;
}

double measure_row(ViewFrame& frame, const RowColumns& cols, const RowInput& row) {
  return walk_row(frame, cols, row, 0, nullptr);
}

RowEstimator RowEstimator::for_frame(ViewFrame& frame) {
  auto& text = frame.text();
  RowEstimator e;
  const TextStyle body = body_style(frame);
  e.line_height = std::max(text.line_height(body), 1.0);
  // A pangram's mean advance stands in for ordinary prose.
  constexpr std::string_view kSample = "The quick brown fox jumps over the lazy dog, 0123456789.";
  e.glyph_width = std::max(text.measure(kSample, body).width / kSample.size(), 1.0);
  const TextStyle chip{kChipSize};
  e.chip_glyph_width = std::max(text.measure(kSample, chip).width / kSample.size(), 1.0);
  e.chip_height = std::max(text.line_height(chip) + 2 * 4, 26.0);
  return e;
}

double RowEstimator::body_height(std::string_view text, double wrap) const {
  const double per_line = std::max(std::floor(wrap / glyph_width), 1.0);
  double lines = 0;
  std::size_t chars = 0;
  const auto close_paragraph = [&] {
    lines += std::max(std::ceil(static_cast<double>(chars) / per_line), 1.0);
    chars = 0;
  };
  for (const char c : text) {
    if (c == '\n') {
      close_paragraph();
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++chars;
    }
  }
  close_paragraph();
  return std::max(lines * line_height, kBodyMin);
}

double RowEstimator::chips_bottom(const document::Message& m, double wrap, double y) const {
  // The same wrapping as place_chips, with labels sized by character count.
  double x = 0;
  double line_top = y;
  const auto place = [&](double w) {
    if (x > 0 && x + w > wrap) {
      line_top += chip_height + kChipGap;
      x = 0;
    }
    x += w + kChipGap;
  };
  for (const auto& g : m.reactions) {
    std::size_t chars = 2 + std::to_string(g.users.size()).size();  // emoji, gap, count
    place(static_cast<double>(chars) * chip_glyph_width + chip_glyph_width + 20);
  }
  place(kAddChipWidth);
  return line_top + chip_height;
}

double estimate_row(ViewFrame& frame, const RowColumns& cols, const RowInput& row,
                    const RowEstimator& guess) {
  return walk_row(frame, cols, row, 0, nullptr, &guess);
}

void paint_row(ViewFrame& frame, const RowColumns& cols, const RowInput& row, double top,
               double height, const Rect& clip) {
  const auto& m = *row.message;
  auto& st = frame.state;
  const Rect rect{cols.left + 8, top, cols.right - 8, top + height};
  const bool hovered = clip.contains(st.pointer) && rect.contains(st.pointer);
  if (hovered)
    frame.painter.fill_rounded_rect(rect, 8, frame.theme.surface_raised.with_alpha(0.55));
  if (st.is_self(m.author)) {
    add_clipped(frame, clip, rect, ControlId::of(ControlKind::MessageMenu, m.id));
  }
  const Painting paint{&clip};
  walk_row(frame, cols, row, top, &paint);

  // Messages without reactions offer the add chip while the pointer rests on them.
  if (hovered && m.reactions.empty() && !row_is_editing(frame, row)) {
    const Rect r{rect.x1 - 8 - kAddChipWidth, top + 2, rect.x1 - 8, top + 2 + 24};
    frame.painter.fill_rounded_rect(r, 12, frame.theme.surface_overlay);
    frame.painter.stroke_rounded_rect(r, 12, frame.theme.edge, 1);
    paint_chip_text(frame, r, "☺", kAddChipSize, frame.theme.text_muted);
    ControlId id = ControlId::of(ControlKind::AddReaction, m.id);
    id.anchor = r;
    add_clipped(frame, clip, r, std::move(id));
  }
}

}  // namespace chat::views::conversation_detail
