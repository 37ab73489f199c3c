#include "views/conversation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "document/day_label.h"
#include "views/conversation_detail.h"
#include "views/people.h"
#include "views/sidebar.h"

namespace chat::views {

namespace {

using zarn_ui::Color;
using zarn_ui::Rect;
using zarn_ui::Size;
using zarn_ui::TextLayoutOptions;
using zarn_ui::TextStyle;
namespace detail = conversation_detail;

constexpr double kDayBand = 36;    // the day label's band at the top of the content
constexpr double kBottomPad = 14;  // below the newest message
constexpr double kRowGap = 4;
constexpr double kListGap = 6;  // between the list and the composer
// Rows measured per frame beyond the visible ones, nearest first, within a list height.
constexpr std::size_t kNearbyRows = 32;
constexpr std::string_view kFallbackWorkspace = "Zarn workspace";
constexpr std::string_view kJumpLabel = "↓ Jump to latest";

bool is_continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

double channel_scale(double s) {
  return s > 0 ? s : 1;
}

const document::Channel* current_channel(const document::ReadModel& model) {
  if (model.current_channel.empty()) return nullptr;
  for (const auto& c : model.channels) {
    if (c.id == model.current_channel) return &c;
  }
  return nullptr;
}

std::string workspace_name(const document::ReadModel& model, std::string_view id) {
  for (const auto& w : model.workspaces) {
    if (w.id == id) {
      std::string name = trimmed(w.name);
      if (!name.empty()) return name;
      break;
    }
  }
  return std::string(kFallbackWorkspace);
}

// A chip with centred text; returns its rectangle.
Rect heading_chip(ViewFrame& frame, double right, double cy, std::string_view label, Color fill,
                  Color outline, Color ink) {
  const TextStyle style{13, zarn_ui::FontWeight::Semibold, ink};
  const Size sz = frame.text().measure(label, style);
  const Rect r{right - sz.width - 24, cy - 16, right, cy + 16};
  frame.painter.fill_rounded_rect(r, 10, fill);
  if (outline.a > 0) frame.painter.stroke_rounded_rect(r, 10, outline, 1);
  frame.painter.draw_text(label, {r.x0 + 12, cy - sz.height / 2}, style);
  return r;
}

void draw_heading(ViewFrame& frame, const Rect& heading, const document::Channel* channel) {
  auto& p = frame.painter;
  const auto& theme = frame.theme;
  const auto& st = frame.state;
  const auto& panes = st.layout.panes;
  p.fill_rect(heading, theme.surface_base);
  draw_nav_toggle(frame, heading);
  p.line({heading.x0, heading.y1 - 0.5}, {heading.x1, heading.y1 - 0.5}, theme.edge, 1);
  if (!channel) return;

  const double cy = heading.center().y;
  double limit = heading.x1 - 12;

  const bool listed = std::any_of(frame.model.people.begin(), frame.model.people.end(),
                                  [&](const auto& person) { return st.is_self(person.id); });
  if (listed) {
    const Rect people =
        heading_chip(frame, heading.x1 - 16, cy, "👥 " + std::to_string(frame.model.people.size()),
                     theme.surface_raised, theme.edge, theme.text_strong);
    frame.add_region(people, ControlId::of(ControlKind::ToggleRightFlap));
    const bool in_call = st.call.in_call;
    const Rect call =
        heading_chip(frame, people.x0 - 8, cy, in_call ? "● In call" : "📹 Call",
                     in_call ? theme.success.with_alpha(0.24) : theme.surface_raised,
                     in_call ? theme.success.with_alpha(0.6) : theme.edge, theme.text_strong);
    frame.add_region(call, ControlId::of(ControlKind::StartCall));
    limit = call.x0 - 12;
  }

  const double x = panes.heading_content_x > heading.x0
                       ? panes.heading_content_x
                       : heading.x0 + (panes.left_docked ? 18 : 54);
  const TextStyle prefix_style{18, zarn_ui::FontWeight::Regular, theme.text_faint};
  const std::string_view prefix = channel->voice ? "🔊" : "#";
  const Size ps = frame.text().measure(prefix, prefix_style);
  p.draw_text(prefix, {x, cy - ps.height / 2}, prefix_style);

  const double name_x = x + 22;
  if (limit - name_x < 8) return;
  const TextStyle name_style{17, zarn_ui::FontWeight::Bold, theme.text_strong};
  const auto name_opts = one_line(limit - name_x);
  const Size ns = frame.text().measure(channel->name, name_style, name_opts);
  p.draw_text(channel->name, {name_x, cy - ns.height / 2}, name_style, name_opts);

  const double sub_x = name_x + ns.width + 18;
  if (limit - sub_x < 48) return;
  const std::string sub =
      heading_subtitle(*channel, workspace_name(frame.model, channel->workspace), st.inbox_mode);
  if (sub.empty()) return;
  const TextStyle sub_style{13, zarn_ui::FontWeight::Regular, theme.text_muted};
  const auto sub_opts = one_line(limit - sub_x);
  const Size ss = frame.text().measure(sub, sub_style, sub_opts);
  p.draw_text(sub, {sub_x, cy - ss.height / 2 + 1}, sub_style, sub_opts);
}

void draw_day_label(ViewFrame& frame, const Rect& list, double center_y, const std::string& label) {
  const TextStyle style{11.5, zarn_ui::FontWeight::Semibold, frame.theme.text_faint};
  const Size sz = frame.text().measure(label, style);
  const double cx = (list.x0 + list.x1) / 2;
  frame.painter.draw_text(label, {cx - sz.width / 2, center_y - sz.height / 2}, style);
  const double gap = sz.width / 2 + 14;
  if (cx - gap > list.x0 + 24) {
    frame.painter.line({list.x0 + 24, center_y}, {cx - gap, center_y}, frame.theme.edge, 1);
    frame.painter.line({cx + gap, center_y}, {list.x1 - 24, center_y}, frame.theme.edge, 1);
  }
}

void draw_empty_channel(ViewFrame& frame, const Rect& list, double heading_bottom,
                        const document::Channel& channel) {
  auto& p = frame.painter;
  const auto& theme = frame.theme;
  const double cx = (list.x0 + list.x1) / 2;
  const double top = heading_bottom + std::min(list.height() / 2, 220.0);
  const auto centred = [&](std::string_view text, double y, const TextStyle& style) {
    TextLayoutOptions o;
    o.wrap_width = std::max(list.width() - 48, 40.0);
    o.align = zarn_ui::TextAlign::Center;
    p.draw_text(text, {cx - *o.wrap_width / 2, y}, style, o);
  };
  centred("#", top, {30, zarn_ui::FontWeight::Bold, theme.text_faint});
  const std::string name = "#" + channel.name;
  centred(name, top + 46, {20, zarn_ui::FontWeight::Bold, theme.text_strong});
  centred(empty_channel_sentence(channel.name, frame.state.can_write()), top + 76,
          {13, zarn_ui::FontWeight::Regular, theme.text_muted});
}

void draw_jump_pill(ViewFrame& frame, double right, double composer_top) {
  const double k = std::min(channel_scale(frame.scale()), 1.35);
  const TextStyle style{12.5, zarn_ui::FontWeight::Semibold, frame.theme.text_strong};
  const Size sz = frame.text().measure(kJumpLabel, style);
  const double w = std::max(k * 28 + sz.width, 152.0);
  const double h = k * 36;
  const Rect r{right - 16 - w, composer_top - 14 - h, right - 16, composer_top - 14};
  frame.painter.shadow(r, 10, {});
  frame.painter.fill_rounded_rect(r, 10, frame.theme.surface_overlay);
  frame.painter.stroke_rounded_rect(r, 10, frame.theme.edge, 1);
  frame.painter.draw_text(kJumpLabel, {r.x0 + (w - sz.width) / 2, r.y0 + (h - sz.height) / 2},
                          style);
  frame.add_region(r, ControlId::of(ControlKind::JumpToLatest));
}

// Relative luminance of an sRGB colour.
double luminance(Color c) {
  const auto lin = [](double v) {
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
}

}  // namespace

double contrast_ratio(Color a, Color b) {
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool continues_group(const document::Message& last, const document::Message& next) {
  if (last.author != next.author) return false;
  const std::int64_t d = next.ts > last.ts ? next.ts - last.ts : last.ts - next.ts;
  return d < 301;
}

ScrollResult resolve_scroll(double offset, bool follow, const ScrollInput& in) {
  if (!std::isfinite(offset)) offset = 0;
  if (!follow && in.previous_height) offset += in.content_height - *in.previous_height;
  const double max_offset = std::max(in.content_height - in.list_height, 0.0);
  if (in.reveal_center) offset = in.content_height - *in.reveal_center - in.list_height / 2;
  ScrollResult r;
  r.offset = std::clamp(offset, 0.0, max_offset);
  r.follow = r.offset <= 0.5;
  r.content_top = max_offset > 0 ? in.list_height - in.content_height + r.offset : 0;
  return r;
}

std::vector<document::Mention> usable_mentions(std::string_view text,
                                               std::vector<document::Mention> mentions) {
  std::stable_sort(mentions.begin(), mentions.end(),
                   [](const auto& a, const auto& b) { return a.start < b.start; });
  std::vector<document::Mention> out;
  std::uint64_t end = 0;
  const auto boundary = [&](std::uint64_t i) {
    return i == text.size() || (i < text.size() && !is_continuation(text[i]));
  };
  for (auto& m : mentions) {
    if (m.start < end) continue;
    if (m.len > text.size() || m.start > text.size() - m.len) continue;
    if (!boundary(m.start) || !boundary(m.start + m.len)) continue;
    end = m.start + m.len;
    out.push_back(std::move(m));
  }
  return out;
}

std::string reaction_chip_label(const document::ReactionGroup& group) {
  return group.emoji + "  " + std::to_string(group.users.size());
}

bool reacted_by_self(const ViewState& state, const document::ReactionGroup& group) {
  return std::any_of(group.users.begin(), group.users.end(),
                     [&](const std::string& u) { return state.is_self(u); });
}

std::string heading_subtitle(const document::Channel& channel, std::string_view workspace_name,
                             bool inbox_mode) {
  const std::string topic = trimmed(channel.topic);
  std::string ws = trimmed(workspace_name);
  if (ws.empty()) ws = kFallbackWorkspace;
  if (!inbox_mode) return topic;
  if (topic.empty()) return "From " + ws;
  return ws + " · " + topic;
}

std::string empty_channel_sentence(std::string_view channel_name, bool can_write) {
  const std::string name = "#" + std::string(channel_name);
  if (can_write) return "This is the start of " + name + ". Write the first message to begin.";
  return "There are no messages in " + name + " yet.";
}

std::string reply_count_label(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " reply" : " replies");
}

Color legible_on(Color color, Color background) {
  Color c = color;
  c.a = 1;
  const bool dark = luminance(background) < 0.5;
  const Color target = dark ? Color{1, 1, 1, 1} : Color{0, 0, 0, 1};
  for (int i = 0; i < 10 && contrast_ratio(c, background) < 4.5; ++i) {
    c.r += (target.r - c.r) * 0.2;
    c.g += (target.g - c.g) * 0.2;
    c.b += (target.b - c.b) * 0.2;
  }
  return c;
}

void draw_conversation(ViewFrame& frame) {
  auto& st = frame.state;
  if (!st.conversation_cache) st.conversation_cache = std::make_shared<ConversationCache>();
  auto& cache = *st.conversation_cache;
  const auto& panes = st.layout.panes;
  const Rect& bounds = st.layout.bounds;
  const double s = channel_scale(frame.scale());
  const double left = panes.conversation_left;
  const double right = panes.conversation_right;
  cache.rows_drawn = 0;
  cache.rows_measured = 0;
  cache.rows_estimated = 0;
  if (right - left < 1 || bounds.empty()) return;

  frame.painter.fill_rect({left, bounds.y0, right, bounds.y1}, frame.theme.surface_base);
  const Rect heading =
      panes.heading.empty() ? Rect{left, bounds.y0, right, bounds.y0 + 60 * s} : panes.heading;
  const document::Channel* channel = current_channel(frame.model);
  if (!channel) {
    st.layout.main_composer = {};
    draw_heading(frame, heading, nullptr);
    return;
  }

  // The composer's height follows its draft, and the list takes what is left.
  const double wrap = composer_wrap_width(left, right);
  const double draft_h = st.can_write() ? st.main_composer.content_height(frame.text(), wrap)
                                        : frame.text().line_height(st.main_composer.text_style());
  const Rect composer = composer_rect(left, right, bounds.y1, frame.scale(), draft_h);
  st.layout.main_composer = composer;
  const Rect list{left, heading.y1, right, std::max(heading.y1, composer.y0 - kListGap)};
  cache.list = list;

  // Top-level rows with their group headers and thread summaries.
  const auto threads = detail::summarize_threads(frame.model.messages);
  std::vector<detail::RowInput> rows;
  rows.reserve(frame.model.messages.size());
  const document::Message* last = nullptr;
  for (const auto& m : frame.model.messages) {
    if (m.parent) continue;
    detail::RowInput row;
    row.message = &m;
    row.header = !last || !continues_group(*last, m);
    if (auto it = threads.find(m.id); it != threads.end()) row.thread = &it->second;
    rows.push_back(row);
    last = &m;
  }

  const auto cols = detail::row_columns(left, right);
  const std::size_t n = rows.size();
  std::vector<double> heights(n);
  std::vector<double> tops(n);
  std::vector<char> exact(n, 0);
  // Drop heights of messages that left the view so the cache stays bounded.
  if (cache.rows.size() > 2 * n + 512) {
    std::unordered_map<std::string, ConversationCache::Row> kept;
    for (const auto& row : rows) {
      if (auto it = cache.rows.find(row.message->id); it != cache.rows.end()) kept.insert(*it);
    }
    cache.rows = std::move(kept);
    cache.order.clear();
  }
  cache.order.resize(n);

  // Shaping every row of a long channel would stall its first frame, so rows not measured yet
  // take an estimate; rows near the viewport are measured below.
  std::optional<detail::RowEstimator> guess;
  const auto measure = [&](std::size_t i) {
    const double h = detail::measure_row(frame, cols, rows[i]);
    ++cache.rows_measured;
    if (!detail::row_is_editing(frame, rows[i])) {
      auto& slot = cache.order[i];
      slot.row.height = h;
      slot.row.estimated = false;
      cache.rows[slot.id] = slot.row;
    }
    const double delta = h - heights[i];
    heights[i] = h;
    exact[i] = 1;
    return delta;
  };
  auto& memo = cache.key_memo;
  const bool reuse_keys = st.model_generation != 0 && memo.generation == st.model_generation &&
                          memo.wrap == cols.wrap && memo.scale == frame.scale() &&
                          memo.can_read == st.can_read() && memo.editing == st.editing_message &&
                          memo.keys.size() == n;
  if (!reuse_keys) {
    memo.generation = st.model_generation;
    memo.wrap = cols.wrap;
    memo.scale = frame.scale();
    memo.can_read = st.can_read();
    memo.editing = st.editing_message;
    memo.keys.assign(n, 0);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const auto& row = rows[i];
    if (detail::row_is_editing(frame, row)) {
      measure(i);
      continue;
    }
    auto& slot = cache.order[i];
    if (slot.id != row.message->id) {
      slot.id = row.message->id;
      auto it = cache.rows.find(slot.id);
      slot.row = it != cache.rows.end() ? it->second : ConversationCache::Row{};
    }
    if (!reuse_keys) memo.keys[i] = detail::row_key(frame, cols, row);
    const std::uint64_t key = memo.keys[i];
    if (slot.row.key != key || slot.row.height <= 0) {
      if (!guess) guess = detail::RowEstimator::for_frame(frame);
      slot.row = {key, detail::estimate_row(frame, cols, row, *guess), true};
    }
    heights[i] = slot.row.height;
    exact[i] = slot.row.estimated ? 0 : 1;
  }
  const auto lay_out = [&] {
    double y = kDayBand;
    for (std::size_t i = 0; i < n; ++i) {
      if (i > 0) y += kRowGap;
      tops[i] = y;
      y += heights[i];
    }
    return n == 0 ? 0.0 : y + kBottomPad;
  };
  double content_h = lay_out();

  ScrollInput in;
  in.content_height = content_h;
  in.list_height = list.height();
  if (cache.has_last && cache.last_channel == channel->id)
    in.previous_height = cache.last_content_height;
  std::optional<std::size_t> reveal;
  if (st.reveal_message) {
    for (std::size_t i = 0; i < n; ++i) {
      if (rows[i].message->id == *st.reveal_message) {
        reveal = i;
        if (!exact[i]) {
          measure(i);
          content_h = lay_out();
          in.content_height = content_h;
        }
        in.reveal_center = tops[i] + heights[i] / 2;
        break;
      }
    }
    st.reveal_message.reset();
  }
  ScrollResult scroll = resolve_scroll(st.scroll_offset, st.follow_latest, in);

  // Measure the rows the list shows, plus a few around them so short scrolls find them ready.
  // Visible rows keep their place: the first visible row is the anchor, so changes above it
  // shift the offset one way and changes at or below it the other (a followed list stays
  // pinned to the bottom instead). Shown rows may change as heights settle, hence the passes.
  const double view_h = list.height();
  for (int pass = 0; pass < 4 && n > 0; ++pass) {
    const double view_top = -scroll.content_top;
    const double view_bottom = view_top + view_h;
    std::size_t first = static_cast<std::size_t>(
        std::upper_bound(tops.begin(), tops.end(), view_top) - tops.begin());
    if (first > 0) --first;
    std::size_t end = first;
    while (end < n && tops[end] < view_bottom) ++end;
    double above = 0;  // height change above the anchor row
    bool changed = false;
    for (std::size_t i = first; i < end; ++i) {
      if (!exact[i]) {
        measure(i);
        changed = true;
      }
    }
    if (pass == 0) {
      std::size_t budget = kNearbyRows;
      std::size_t lo = first;
      std::size_t hi = end;
      const double reach_up = view_top - view_h;
      const double reach_down = view_bottom + view_h;
      while (budget > 0) {
        const bool up = lo > 0 && tops[lo - 1] + heights[lo - 1] > reach_up;
        const bool down = hi < n && tops[hi] < reach_down;
        if (!up && !down) break;
        if (up) {
          --lo;
          if (!exact[lo]) {
            above += measure(lo);
            changed = true;
            --budget;
          }
        }
        if (down && budget > 0) {
          if (!exact[hi]) {
            measure(hi);
            changed = true;
            --budget;
          }
          ++hi;
        }
      }
    }
    if (!changed) break;
    ScrollInput again;
    again.list_height = view_h;
    again.previous_height = content_h + above;
    content_h = lay_out();
    again.content_height = content_h;
    if (reveal) again.reveal_center = tops[*reveal] + heights[*reveal] / 2;
    scroll = resolve_scroll(scroll.offset, scroll.follow, again);
  }
  st.scroll_offset = scroll.offset;
  st.follow_latest = scroll.follow;
  cache.rows_estimated = static_cast<std::size_t>(std::count(exact.begin(), exact.end(), 0));
  cache.last_content_height = content_h;
  cache.last_channel = channel->id;
  cache.has_last = true;
  cache.content_top = scroll.content_top;

  draw_heading(frame, heading, channel);
  if (!list.empty()) {
    frame.painter.push_clip(list);
    const double origin = list.y0 + scroll.content_top;
    cache.day_label = rows.empty() ? std::string("Today")
                                   : document::day_label(kDayReference, rows.front().message->ts);
    if (rows.empty()) {
      draw_day_label(frame, list, list.y0 + kDayBand / 2, cache.day_label);
      draw_empty_channel(frame, list, heading.y1, *channel);
    } else {
      draw_day_label(frame, list, origin + kDayBand / 2, cache.day_label);
      // Rows are in content order, so the first visible one is found by bisection.
      const double first_visible = list.y0 - origin;
      std::size_t i = static_cast<std::size_t>(
          std::upper_bound(tops.begin(), tops.end(), first_visible) - tops.begin());
      if (i > 0) --i;
      for (; i < rows.size(); ++i) {
        const double top = origin + tops[i];
        if (top >= list.y1) break;
        if (top + heights[i] <= list.y0) continue;
        detail::paint_row(frame, cols, rows[i], top, heights[i], list);
        ++cache.rows_drawn;
      }
    }
    frame.painter.pop_clip();
  }

  if (!st.follow_latest) draw_jump_pill(frame, right, composer.y0);
  detail::draw_main_composer(frame, composer);
}

}  // namespace chat::views
