// The two floating cards over the composer and the message list: the emoji picker and the attach
// popover. Each draws nothing while closed; when open it first registers a Dismiss region over
// the whole bounds, then its card, whose own regions lie on top. The geometry helpers are pure;
// drawing runs on the UI thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/zarn_ui/geometry.h"
#include "views/frame.h"

namespace chat::views {

// ---- Emoji picker.

inline constexpr double kEmojiPickerWidth = 320;
inline constexpr double kEmojiPickerHeight = 4324.0 / 7;
inline constexpr std::size_t kEmojiColumns = 7;
inline constexpr double kEmojiCell = 296.0 / 7;

struct EmojiGroup {
  std::string_view label;
  std::vector<std::string_view> emoji;
};

// Frequent, Smileys, Gestures, Symbols, Objects; the emoji byte-exact (variation selectors kept).
const std::vector<EmojiGroup>& emoji_groups();

// The card: its top-left at the anchor's bottom-left, kept 8 inside the bounds (pinned to the
// bounds' top-left corner plus 8 when the bounds are smaller than the card).
zarn_ui::Rect emoji_picker_rect(const zarn_ui::Rect& anchor, const zarn_ui::Rect& bounds);

// The cell rectangles of every emoji in table order, for a card at `card`; hit regions are these
// cells inset by 2.
std::vector<zarn_ui::Rect> emoji_cells(const zarn_ui::Rect& card);

// "Add reaction" when the picker targets a message, "Emoji" for the composer.
std::string_view emoji_picker_title(const EmojiPickerState& picker);

void draw_emoji_picker(ViewFrame& frame);

// ---- Attach popover.

// Rows shown at text scale `scale`: 6 up to 1.15, 4 up to 1.5, otherwise 2.
std::size_t attach_popover_max_rows(double scale);

// Everything the popover paints, measured but not drawn.
struct AttachPopoverLayout {
  zarn_ui::Rect card{};
  zarn_ui::Point title{};
  std::string status{};       // empty: no status line
  bool status_alarm = false;  // a failure or cancellation, in the danger colour
  zarn_ui::Point status_at{};
  std::vector<zarn_ui::Rect> rows{};  // one per shown file, in listing order
  std::string note{};  // "Loading attachments…", "No attachments in …", "+N more in the workspace"
  zarn_ui::Point note_at{};
};

// Anchored on the composer's Attach region when one is in frame.regions, else on the main
// composer, else on a point 12 above the bounds' bottom-left corner.
AttachPopoverLayout attach_popover_layout(const ViewFrame& frame);
zarn_ui::Rect attach_popover_rect(const ViewFrame& frame);

void draw_attach_popover(ViewFrame& frame);

}  // namespace chat::views
