// TextInput: an editable text field (grapheme-safe caret and selection, word and line movement,
// clipboard, input-method composition, undo, submit flag). User edits accumulate as one replaced
// byte range the host takes, so a mirror of the text can be spliced instead of rewritten.
// Invariants: caret and anchor sit on grapheme boundaries; text() is valid UTF-8.
// UI thread only; the editing model needs no Cairo (only draw does).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/zarn_ui/access_node.h"
#include "platform/zarn_ui/event.h"
#include "platform/zarn_ui/geometry.h"
#include "platform/zarn_ui/text_renderer.h"

namespace zarn_ui {

class EventCtx;
class Painter;
struct SemanticAction;
struct Theme;

// The user's edits since the last take: bytes [start, end) of the text as it was at the
// previous take were replaced by `text`.
struct TextEdit {
  std::size_t start = 0;
  std::size_t end = 0;
  std::string text;
  bool operator==(const TextEdit&) const = default;
};

enum class LineMode : std::uint8_t { Single, Multi };

class TextInput {
 public:
  TextInput();
  ~TextInput();
  TextInput(const TextInput&) = delete;
  TextInput& operator=(const TextInput&) = delete;

  // Host-side replacement (mirroring a stored draft): not reported by take_dirty, drops any
  // pending report and undo history. The caret keeps its offset, pulled inside the new text.
  // Invalid UTF-8 is replaced by U+FFFD. Setting the current text again changes nothing, so a
  // host may mirror every frame without wiping undo.
  void set_text(std::string_view text);
  const std::string& text() const { return text_; }

  // Moves the caret (and collapses the selection) to `pos`, clamped to the text and moved back
  // to the start of the grapheme it falls in.
  void set_cursor_pos(std::size_t pos);
  std::size_t cursor_pos() const { return cursor_; }
  // Selects [anchor, cursor) in either direction, both snapped like set_cursor_pos.
  void select(std::size_t anchor, std::size_t cursor);
  void select_all();
  // Ordered [start, end); start == end when nothing is selected.
  std::pair<std::size_t, std::size_t> selection() const;
  bool has_selection() const { return cursor_ != anchor_; }
  std::string selected_text() const;

  void set_placeholder(std::string_view placeholder) { placeholder_ = placeholder; }
  const std::string& placeholder() const { return placeholder_; }
  // The identity the host attributes this input's edits to.
  void set_local_author(std::string_view author) { local_author_ = author; }
  const std::string& local_author() const { return local_author_; }

  // Single-line inputs turn line breaks into spaces and submit on Shift+Enter too.
  void set_line_mode(LineMode mode) { line_mode_ = mode; }
  LineMode line_mode() const { return line_mode_; }
  void set_text_style(const TextStyle& style) { style_ = style; }
  const TextStyle& text_style() const { return style_; }

  void set_focused(bool focused);
  bool is_focused() const { return focused_; }

  // Inserts at the caret, replacing the selection; reported by take_dirty.
  void insert_at_cursor(std::string_view text);
  // Deletes the selection; false when there is none.
  bool delete_selection();
  std::optional<TextEdit> take_dirty();
  // True once after Enter (or a submit action); clears the flag.
  bool take_submit();
  bool undo();
  bool redo();

  // Keys, text, composition and pointer input; only while focused. Returns whether the event
  // was used (and marks it handled in `ctx`). Pointer positions are divided by the context's
  // text scale.
  bool handle_event(const Event& event, EventCtx& ctx);
  // Automation: "focus", "blur", "set-value", "replace-selection", "select-all", "submit".
  // Value changes are reported by take_dirty like typing. False for unknown actions.
  bool perform_action(std::string_view action, std::string_view value = {});
  bool perform_action(const SemanticAction& action);

  // Paints the text (or the placeholder), selection, composition and caret inside `rect`,
  // scrolled so the caret stays visible. Also records the geometry pointer input uses.
  void draw(Painter& painter, const Rect& rect, const Theme& theme);

  // Uncommitted input-method text shown at the caret.
  const std::string& composition() const { return preedit_; }
  // The rectangle last drawn into, and the caret within it (logical pixels; the caret rectangle
  // is where an input method places its candidate window).
  const Rect& rect() const { return rect_; }
  const Rect& caret_rect() const { return caret_rect_; }
  // A node for the accessibility tree: a text field or area holding the text as its value.
  AccessNode access_node(std::string id, std::string label) const;
  // Height the text needs at `wrap_width`, at least one line.
  double content_height(TextRenderer& text, double wrap_width) const;

 private:
  struct Snapshot {
    std::string text;
    std::size_t cursor = 0;
    std::size_t anchor = 0;
  };
  // Typing and Deleting runs merge into one undo step; Restore is undo/redo itself.
  enum class EditKind : std::uint8_t { Typing, Deleting, Other, Restore };

  bool handle_key(const KeyEvent& key, EventCtx& ctx);
  bool handle_button(const ButtonEvent& button, EventCtx& ctx);
  bool handle_pointer_move(const PointerMoveEvent& move, EventCtx& ctx);
  // Replaces bytes [start, end) of the text and records the edit for take_dirty and undo.
  void replace(std::size_t start, std::size_t end, std::string_view with, EditKind kind);
  void replace_all_minimal(std::string_view with, EditKind kind);
  void insert(std::string_view text, EditKind kind);
  void move_caret(std::size_t pos, bool extend);
  std::size_t line_target(int delta) const;
  std::size_t line_start(std::size_t pos) const;
  std::size_t line_end(std::size_t pos) const;
  std::size_t index_at(Point logical) const;
  std::string clean_input(std::string_view text) const;
  void restore(const Snapshot& snap);

  class Boundaries;

  std::string text_;
  std::size_t cursor_ = 0;
  std::size_t anchor_ = 0;
  std::string placeholder_;
  std::string local_author_;
  std::string preedit_;
  int preedit_cursor_ = 0;
  LineMode line_mode_ = LineMode::Multi;
  TextStyle style_{15};
  bool focused_ = false;
  bool submit_ = false;

  // Pending report: unchanged prefix and suffix lengths relative to the text at the last take.
  bool dirty_ = false;
  std::size_t dirty_prefix_ = 0;
  std::size_t dirty_suffix_ = 0;
  std::size_t dirty_base_len_ = 0;

  std::vector<Snapshot> undo_;
  std::vector<Snapshot> redo_;
  EditKind last_kind_ = EditKind::Other;  // Other after any caret move, so runs break there

  // Column the caret keeps across Up/Down, in logical pixels of the last layout.
  std::optional<double> goal_x_;
  bool dragging_ = false;

  // Geometry of the last draw.
  Rect rect_;
  Rect caret_rect_;
  Point text_origin_;  // layout's top-left, scroll included
  double scroll_x_ = 0;
  double scroll_y_ = 0;
  RichTextLayout layout_;  // of text_ alone, for hit testing and line movement

  std::unique_ptr<Boundaries> bounds_;
};

}  // namespace zarn_ui
