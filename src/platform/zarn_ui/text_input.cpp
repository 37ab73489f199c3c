#include "platform/zarn_ui/text_input.h"

#include <glib.h>
#include <pango/pango.h>

#include <algorithm>
#include <cmath>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/theme.h"
#include "platform/zarn_ui/widget.h"

namespace zarn_ui {
namespace {

constexpr std::size_t kUndoLimit = 200;

bool is_continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string make_valid(std::string_view text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    return std::string(text);
  }
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string out(valid);
  g_free(valid);
  return out;
}

// Byte offset of the `chars`-th code point of valid UTF-8 `text`, clamped to its end.
std::size_t char_to_byte(std::string_view text, long chars) {
  std::size_t pos = 0;
  for (long i = 0; i < chars && pos < text.size(); ++i) {
    ++pos;
    while (pos < text.size() && is_continuation(text[pos])) ++pos;
  }
  return pos;
}

}  // namespace

// Grapheme and word boundaries of one text, from Pango's break attributes. Rebuilt when the
// text changes; needs no font or surface.
class TextInput::Boundaries {
 public:
  void ensure(const std::string& text) {
    if (valid_ && text == text_) return;
    text_ = text;
    valid_ = true;
    offsets_.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!is_continuation(text[i])) offsets_.push_back(i);
    }
    offsets_.push_back(text.size());
    attrs_.assign(offsets_.size(), PangoLogAttr{});
    pango_get_log_attrs(text.data(), static_cast<int>(text.size()), -1,
                        pango_language_get_default(), attrs_.data(),
                        static_cast<int>(attrs_.size()));
  }

  // Largest grapheme boundary at or before `pos`.
  std::size_t floor(std::size_t pos) const {
    std::size_t i = char_index(pos);
    while (i > 0 && !attrs_[i].is_cursor_position) --i;
    return offsets_[i];
  }
  std::size_t prev_cursor(std::size_t pos) const {
    std::size_t i = char_index(pos);
    if (i == 0) return 0;
    --i;
    while (i > 0 && !attrs_[i].is_cursor_position) --i;
    return offsets_[i];
  }
  std::size_t next_cursor(std::size_t pos) const {
    std::size_t i = char_index(pos);
    const std::size_t last = offsets_.size() - 1;
    if (i >= last) return offsets_[last];
    ++i;
    while (i < last && !attrs_[i].is_cursor_position) ++i;
    return offsets_[i];
  }
  std::size_t prev_word_start(std::size_t pos) const {
    std::size_t i = char_index(pos);
    while (i > 0) {
      --i;
      if (attrs_[i].is_word_start) break;
    }
    return offsets_[i];
  }
  std::size_t next_word_end(std::size_t pos) const {
    std::size_t i = char_index(pos);
    const std::size_t last = offsets_.size() - 1;
    while (i < last) {
      ++i;
      if (attrs_[i].is_word_end) break;
    }
    return offsets_[i];
  }
  // The word containing `pos`, or the grapheme there when it is not inside a word.
  std::pair<std::size_t, std::size_t> word_at(std::size_t pos) const {
    std::size_t i = char_index(pos);
    // Just past a word (a click beyond its last letter) still means that word.
    if (i > 0 && attrs_[i].is_word_end && !attrs_[i].is_word_start) --i;
    std::size_t s = i;
    while (!attrs_[s].is_word_start) {
      // Reaching a word end before a start means pos lies between words.
      if (s == 0 || (s != i && attrs_[s].is_word_end)) return {floor(pos), next_cursor(pos)};
      --s;
    }
    const std::size_t end = next_word_end(offsets_[s]);
    if (end <= offsets_[i]) return {floor(pos), next_cursor(pos)};
    return {offsets_[s], end};
  }

 private:
  std::size_t char_index(std::size_t pos) const {
    // Index of the last code point starting at or before pos.
    auto it = std::upper_bound(offsets_.begin(), offsets_.end(), pos);
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, it - offsets_.begin() - 1));
  }

  bool valid_ = false;
  std::string text_;
  std::vector<std::size_t> offsets_;  // byte offset of each code point, plus the end
  std::vector<PangoLogAttr> attrs_;
};

TextInput::TextInput() : bounds_(std::make_unique<Boundaries>()) {}
TextInput::~TextInput() = default;

void TextInput::set_text(std::string_view text) {
  std::string valid = make_valid(text);
  if (valid == text_) return;
  text_ = std::move(valid);
  bounds_->ensure(text_);
  cursor_ = bounds_->floor(std::min(cursor_, text_.size()));
  anchor_ = cursor_;
  dirty_ = false;
  undo_.clear();
  redo_.clear();
  last_kind_ = EditKind::Other;
  goal_x_.reset();
}

void TextInput::set_cursor_pos(std::size_t pos) {
  select(pos, pos);
}

void TextInput::select(std::size_t anchor, std::size_t cursor) {
  bounds_->ensure(text_);
  anchor_ = bounds_->floor(std::min(anchor, text_.size()));
  cursor_ = bounds_->floor(std::min(cursor, text_.size()));
  last_kind_ = EditKind::Other;
  goal_x_.reset();
}

void TextInput::select_all() {
  select(0, text_.size());
}

std::pair<std::size_t, std::size_t> TextInput::selection() const {
  return {std::min(cursor_, anchor_), std::max(cursor_, anchor_)};
}

std::string TextInput::selected_text() const {
  const auto [start, end] = selection();
  return text_.substr(start, end - start);
}

void TextInput::set_focused(bool focused) {
  focused_ = focused;
  if (!focused) {
    preedit_.clear();
    dragging_ = false;
  }
}

std::string TextInput::clean_input(std::string_view text) const {
  const std::string valid = make_valid(text);
  std::string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const char c = valid[i];
    if (c == '\r') {
      if (i + 1 < valid.size() && valid[i + 1] == '\n') continue;  // CR LF is one break
      out += line_mode_ == LineMode::Multi ? '\n' : ' ';
    } else if (c == '\n') {
      out += line_mode_ == LineMode::Multi ? '\n' : ' ';
    } else if (c == '\t' || static_cast<unsigned char>(c) >= 0x20) {
      if (c != 0x7f) out += c;
    }
    // Other control bytes (NUL, escape sequences from a terminal paste) are dropped.
  }
  return out;
}

void TextInput::replace(std::size_t start, std::size_t end, std::string_view with, EditKind kind) {
  start = std::min(start, text_.size());
  end = std::clamp(end, start, text_.size());
  if (start == end && with.empty()) return;
  if (kind != EditKind::Restore) {
    const bool merge = kind != EditKind::Other && kind == last_kind_ && !undo_.empty();
    if (!merge) {
      undo_.push_back({text_, cursor_, anchor_});
      if (undo_.size() > kUndoLimit) undo_.erase(undo_.begin());
    }
    redo_.clear();
  }
  const std::size_t old_len = text_.size();
  if (!dirty_) {
    dirty_ = true;
    dirty_prefix_ = start;
    dirty_suffix_ = old_len - end;
    dirty_base_len_ = old_len;
  } else {
    dirty_prefix_ = std::min(dirty_prefix_, start);
    dirty_suffix_ = std::min(dirty_suffix_, old_len - end);
  }
  text_.replace(start, end - start, with);
  bounds_->ensure(text_);
  cursor_ = anchor_ = bounds_->floor(start + with.size());
  last_kind_ = kind;
  goal_x_.reset();
}

void TextInput::replace_all_minimal(std::string_view with, EditKind kind) {
  // Replace only the differing middle so the report stays small, on code point boundaries.
  std::size_t prefix = 0;
  const std::size_t max_common = std::min(text_.size(), with.size());
  while (prefix < max_common && text_[prefix] == with[prefix]) ++prefix;
  while (prefix > 0 && prefix < text_.size() && is_continuation(text_[prefix])) --prefix;
  std::size_t suffix = 0;
  while (suffix < max_common - prefix &&
         text_[text_.size() - 1 - suffix] == with[with.size() - 1 - suffix]) {
    ++suffix;
  }
  while (suffix > 0 && is_continuation(text_[text_.size() - suffix])) --suffix;
  replace(prefix, text_.size() - suffix, with.substr(prefix, with.size() - suffix - prefix), kind);
}

void TextInput::insert_at_cursor(std::string_view text) {
  insert(text, EditKind::Other);
}

void TextInput::insert(std::string_view text, EditKind kind) {
  const std::string clean = clean_input(text);
  const auto [start, end] = selection();
  if (clean.empty() && start == end) return;
  // Replacing a selection is its own undo step even while typing.
  replace(start, end, clean, start == end ? kind : EditKind::Other);
}

bool TextInput::delete_selection() {
  if (!has_selection()) return false;
  const auto [start, end] = selection();
  replace(start, end, {}, EditKind::Other);
  return true;
}

std::optional<TextEdit> TextInput::take_dirty() {
  if (!dirty_) return std::nullopt;
  dirty_ = false;
  TextEdit edit{dirty_prefix_, dirty_base_len_ - dirty_suffix_,
                text_.substr(dirty_prefix_, text_.size() - dirty_suffix_ - dirty_prefix_)};
  // Edits that cancelled out (typed, then deleted) leave nothing to report.
  if (edit.start == edit.end && edit.text.empty()) return std::nullopt;
  return edit;
}

bool TextInput::take_submit() {
  return std::exchange(submit_, false);
}

void TextInput::restore(const Snapshot& snap) {
  replace_all_minimal(snap.text, EditKind::Restore);
  bounds_->ensure(text_);
  cursor_ = bounds_->floor(std::min(snap.cursor, text_.size()));
  anchor_ = bounds_->floor(std::min(snap.anchor, text_.size()));
  last_kind_ = EditKind::Other;
}

bool TextInput::undo() {
  if (undo_.empty()) return false;
  redo_.push_back({text_, cursor_, anchor_});
  const Snapshot snap = std::move(undo_.back());
  undo_.pop_back();
  restore(snap);
  return true;
}

bool TextInput::redo() {
  if (redo_.empty()) return false;
  undo_.push_back({text_, cursor_, anchor_});
  const Snapshot snap = std::move(redo_.back());
  redo_.pop_back();
  restore(snap);
  return true;
}

void TextInput::move_caret(std::size_t pos, bool extend) {
  cursor_ = pos;
  if (!extend) anchor_ = pos;
  last_kind_ = EditKind::Other;
}

std::size_t TextInput::line_start(std::size_t pos) const {
  if (!layout_.empty() && layout_.text() == text_) {
    return bounds_->floor(layout_.line_bounds(pos).first);
  }
  const std::size_t nl = pos == 0 ? std::string::npos : text_.rfind('\n', pos - 1);
  return nl == std::string::npos ? 0 : nl + 1;
}

std::size_t TextInput::line_end(std::size_t pos) const {
  if (!layout_.empty() && layout_.text() == text_) {
    std::size_t end = layout_.line_bounds(pos).second;
    // A soft-wrapped line ends where the next begins; stay before its trailing space or break
    // so the caret remains on this line.
    if (end < text_.size() && end > pos) end = bounds_->prev_cursor(end);
    return bounds_->floor(std::max(end, pos));
  }
  const std::size_t nl = text_.find('\n', pos);
  return nl == std::string::npos ? text_.size() : nl;
}

std::size_t TextInput::line_target(int delta) const {
  if (!layout_.empty() && layout_.text() == text_) {
    const std::size_t moved = layout_.move_line(cursor_, delta, goal_x_);
    if (moved != cursor_) return bounds_->floor(moved);
    return delta < 0 ? 0 : text_.size();  // already on the first or last line
  }
  // Not drawn yet: logical lines, keeping the grapheme column.
  const std::size_t start = line_start(cursor_);
  std::size_t column = 0;
  for (std::size_t p = start; p < cursor_; p = bounds_->next_cursor(p)) ++column;
  std::size_t target_line;
  if (delta < 0) {
    if (start == 0) return 0;
    target_line = line_start(start - 1);
  } else {
    const std::size_t end = line_end(cursor_);
    if (end >= text_.size()) return text_.size();
    target_line = end + 1;
  }
  const std::size_t target_end = line_end(target_line);
  std::size_t p = target_line;
  for (std::size_t i = 0; i < column && p < target_end; ++i) p = bounds_->next_cursor(p);
  return std::min(p, target_end);
}

bool TextInput::handle_key(const KeyEvent& key, EventCtx& ctx) {
  if (key.state != KeyState::Pressed) return false;
  bounds_->ensure(text_);
  const bool shift = key.mods.shift;
  const bool ctrl = key.mods.ctrl;
  const bool multi = line_mode_ == LineMode::Multi;
  const auto [sel_start, sel_end] = selection();
  switch (key.key) {
    case Key::Left:
    case Key::Right: {
      const bool left = key.key == Key::Left;
      goal_x_.reset();
      if (has_selection() && !shift && !ctrl) {
        move_caret(left ? sel_start : sel_end, false);
      } else if (ctrl) {
        move_caret(left ? bounds_->prev_word_start(cursor_) : bounds_->next_word_end(cursor_),
                   shift);
      } else {
        move_caret(left ? bounds_->prev_cursor(cursor_) : bounds_->next_cursor(cursor_), shift);
      }
      return true;
    }
    case Key::Up:
    case Key::Down: {
      if (!multi) return false;
      if (!goal_x_ && !layout_.empty() && layout_.text() == text_) {
        goal_x_ = layout_.caret_rect(cursor_).x0;
      }
      const std::optional<double> keep = goal_x_;
      move_caret(line_target(key.key == Key::Up ? -1 : 1), shift);
      goal_x_ = keep;
      return true;
    }
    case Key::Home:
      goal_x_.reset();
      move_caret(ctrl ? 0 : line_start(cursor_), shift);
      return true;
    case Key::End:
      goal_x_.reset();
      move_caret(ctrl ? text_.size() : line_end(cursor_), shift);
      return true;
    case Key::Backspace:
      if (has_selection()) {
        replace(sel_start, sel_end, {}, EditKind::Other);
      } else if (cursor_ > 0) {
        const std::size_t from =
            ctrl ? bounds_->prev_word_start(cursor_) : bounds_->prev_cursor(cursor_);
        replace(from, cursor_, {}, EditKind::Deleting);
      }
      return true;
    case Key::Delete:
      if (has_selection()) {
        replace(sel_start, sel_end, {}, EditKind::Other);
      } else if (cursor_ < text_.size()) {
        const std::size_t to =
            ctrl ? bounds_->next_word_end(cursor_) : bounds_->next_cursor(cursor_);
        const std::size_t at = cursor_;
        replace(at, to, {}, EditKind::Deleting);
      }
      return true;
    case Key::Enter:
      if (shift && multi && !ctrl) {
        insert_at_cursor("\n");
      } else {
        submit_ = true;
      }
      return true;
    case Key::A:
      if (ctrl) {
        select_all();
        return true;
      }
      break;
    case Key::C:
    case Key::X:
      if (ctrl) {
        if (has_selection()) {
          ctx.set_clipboard_text(selected_text());
          if (key.key == Key::X) replace(sel_start, sel_end, {}, EditKind::Other);
        }
        return true;
      }
      break;
    case Key::V:
      if (ctrl) {
        insert_at_cursor(ctx.clipboard_text());
        return true;
      }
      break;
    case Key::Z:
      if (ctrl) {
        if (shift) {
          redo();
        } else {
          undo();
        }
        return true;
      }
      break;
    case Key::Tab:
    case Key::Escape:
    case Key::PageUp:
    case Key::PageDown:
    case Key::Unknown:
      return false;
    case Key::Space:
    case Key::Other:
      break;
  }
  // Printable keys arrive again as text events; claim them so no shortcut fires on typing.
  return !ctrl && !key.mods.alt && !key.mods.super;
}

std::size_t TextInput::index_at(Point logical) const {
  if (layout_.empty() || layout_.text() != text_) return text_.size();
  const Point local{logical.x - text_origin_.x, logical.y - text_origin_.y};
  return bounds_->floor(std::min(layout_.hit_test(local), text_.size()));
}

bool TextInput::handle_button(const ButtonEvent& button, EventCtx& ctx) {
  if (button.button != MouseButton::Left) return false;
  const double scale = ctx.text_scale() > 0 ? ctx.text_scale() : 1.0;
  const Point p{button.pos.x / scale, button.pos.y / scale};
  if (button.state == ButtonState::Released) {
    const bool was = std::exchange(dragging_, false);
    return was;
  }
  if (!rect_.contains(p)) return false;
  bounds_->ensure(text_);
  const std::size_t at = index_at(p);
  if (button.clicks >= 3) {
    select(line_start(at), line_end(at));
  } else if (button.clicks == 2) {
    const auto [start, end] = bounds_->word_at(at);
    select(start, end);
  } else {
    move_caret(at, button.mods.shift);
    goal_x_.reset();
    dragging_ = true;
  }
  return true;
}

bool TextInput::handle_pointer_move(const PointerMoveEvent& move, EventCtx& ctx) {
  if (!dragging_) return false;
  const double scale = ctx.text_scale() > 0 ? ctx.text_scale() : 1.0;
  bounds_->ensure(text_);
  move_caret(index_at({move.pos.x / scale, move.pos.y / scale}), true);
  return true;
}

bool TextInput::handle_event(const Event& event, EventCtx& ctx) {
  if (!focused_) return false;
  bool used = false;
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    used = handle_key(*key, ctx);
  } else if (const auto* text = std::get_if<TextEvent>(&event)) {
    preedit_.clear();
    insert(text->text, EditKind::Typing);
    used = true;
  } else if (const auto* comp = std::get_if<CompositionEvent>(&event)) {
    preedit_ = clean_input(comp->text);
    preedit_cursor_ = comp->cursor;
    used = true;
  } else if (const auto* button = std::get_if<ButtonEvent>(&event)) {
    used = handle_button(*button, ctx);
  } else if (const auto* move = std::get_if<PointerMoveEvent>(&event)) {
    used = handle_pointer_move(*move, ctx);
  }
  if (used) {
    ctx.set_handled();
    ctx.request_redraw();
  }
  return used;
}

bool TextInput::perform_action(std::string_view action, std::string_view value) {
  if (action == "focus") {
    set_focused(true);
  } else if (action == "blur") {
    set_focused(false);
  } else if (action == "set-value") {
    // Unlike a host-side set_text this is an edit: reported and undoable.
    replace_all_minimal(clean_input(value), EditKind::Other);
    bounds_->ensure(text_);
    cursor_ = anchor_ = text_.size();
  } else if (action == "replace-selection") {
    insert_at_cursor(value);
  } else if (action == "select-all") {
    select_all();
  } else if (action == "submit") {
    submit_ = true;
  } else {
    return false;
  }
  return true;
}

bool TextInput::perform_action(const SemanticAction& action) {
  switch (action.kind) {
    case SemanticActionKind::Activate:
    case SemanticActionKind::Focus:
      return perform_action("focus");
    case SemanticActionKind::SetValue:
      return perform_action("set-value", action.text);
    case SemanticActionKind::ReplaceSelection:
      return perform_action("replace-selection", action.text);
    case SemanticActionKind::Dismiss:
      return perform_action("blur");
    case SemanticActionKind::Increment:
    case SemanticActionKind::Decrement:
    case SemanticActionKind::ScrollIntoView:
      return false;
  }
  return false;
}

AccessNode TextInput::access_node(std::string id, std::string label) const {
  AccessNode node;
  node.id = std::move(id);
  node.label = std::move(label);
  node.description = placeholder_;
  node.role = line_mode_ == LineMode::Multi ? AccessRole::TextArea : AccessRole::TextField;
  node.rect = rect_;
  node.focused = focused_;
  node.value = text_;
  return node;
}

double TextInput::content_height(TextRenderer& text, double wrap_width) const {
  TextLayoutOptions options;
  if (line_mode_ == LineMode::Multi) options.wrap_width = std::max(1.0, wrap_width);
  const double line = text.line_height(style_);
  if (text_.empty()) return line;
  return std::max(line, text.measure(text_, style_, options).height);
}

void TextInput::draw(Painter& painter, const Rect& rect, const Theme& theme) {
  rect_ = rect;
  TextRenderer& renderer = painter.text();
  TextStyle style = style_;
  style.color = theme.text_strong;
  TextLayoutOptions options;
  const bool multi = line_mode_ == LineMode::Multi;
  if (multi) options.wrap_width = std::max(1.0, rect.width());
  layout_ = renderer.layout(text_, {}, style, options);

  // With a composition the drawn text has the preedit spliced in at the caret, underlined.
  RichTextLayout shown = layout_;
  std::size_t caret = cursor_;
  if (!preedit_.empty()) {
    std::string display = text_;
    display.insert(cursor_, preedit_);
    TextSpan underline;
    underline.start = cursor_;
    underline.end = cursor_ + preedit_.size();
    underline.underline = true;
    shown = renderer.layout(display, std::span<const TextSpan>(&underline, 1), style, options);
    caret = cursor_ + char_to_byte(preedit_, std::max(0, preedit_cursor_));
  }

  const double line_h = renderer.line_height(style);
  const double content_h = std::max(line_h, shown.height());
  const Rect caret_box = shown.caret_rect(caret);
  double top = rect.y0 + (rect.height() - content_h) / 2;  // short text sits centred
  if (content_h > rect.height()) {
    // Keep the caret line in view, scrolling no further than the content allows.
    if (caret_box.y0 - scroll_y_ < 0) scroll_y_ = caret_box.y0;
    if (caret_box.y1 - scroll_y_ > rect.height()) scroll_y_ = caret_box.y1 - rect.height();
    scroll_y_ = std::clamp(scroll_y_, 0.0, content_h - rect.height());
    top = rect.y0 - scroll_y_;
  } else {
    scroll_y_ = 0;
  }
  if (!multi) {
    const double margin = 2;
    if (caret_box.x0 - scroll_x_ < 0) scroll_x_ = caret_box.x0;
    if (caret_box.x0 - scroll_x_ > rect.width() - margin) {
      scroll_x_ = caret_box.x0 - rect.width() + margin;
    }
    scroll_x_ = std::clamp(scroll_x_, 0.0, std::max(0.0, shown.width() + margin - rect.width()));
  } else {
    scroll_x_ = 0;
  }
  text_origin_ = {rect.x0 - scroll_x_, top};

  painter.push_clip(rect);
  if (text_.empty() && preedit_.empty()) {
    if (!placeholder_.empty()) {
      TextStyle muted = style;
      muted.color = theme.text_muted;
      TextLayoutOptions one_line;
      one_line.wrap_width = std::max(1.0, rect.width());
      one_line.max_lines = 1;
      one_line.ellipsize = Ellipsize::End;
      painter.draw_text(placeholder_, {rect.x0, rect.y0 + (rect.height() - line_h) / 2}, muted,
                        one_line);
    }
  } else {
    if (has_selection()) {
      const auto [start, end] = selection();
      const Color fill =
          focused_ ? theme.accent.with_alpha(0.35) : theme.text_faint.with_alpha(0.3);
      for (const Rect& r : layout_.selection_rects(start, end)) {
        painter.fill_rect({r.x0 + text_origin_.x, r.y0 + text_origin_.y, r.x1 + text_origin_.x,
                           r.y1 + text_origin_.y},
                          fill);
      }
    }
    shown.draw(painter, text_origin_);
  }
  const double caret_x = std::round((caret_box.x0 + text_origin_.x) * 2) / 2;
  const double caret_y = caret_box.y0 + text_origin_.y;
  caret_rect_ = {caret_x, caret_y, caret_x + 1.5, caret_y + std::max(caret_box.height(), line_h)};
  if (focused_) painter.line({caret_x, caret_y}, {caret_x, caret_rect_.y1}, theme.accent, 1.5);
  painter.pop_clip();
}

}  // namespace zarn_ui
