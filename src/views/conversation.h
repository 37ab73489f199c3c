// The conversation: heading, message list (groups, day label, bodies with mentions, reactions,
// thread summaries, edit card, attachment cards), scrolling with jump-to-latest, the empty
// channel text, the main composer, and the edit-history popover. Row heights are measured once
// per content and cached; rows far from the visible list carry an estimate until they come
// near, so only rows that meet the visible list (and a few around it) are shaped.
// UI thread only; the small helpers below are pure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "views/frame.h"

namespace chat::views {

// Measured heights and other per-frame memory of the conversation view.
struct ConversationCache {
  double last_content_height = 0;
  std::string last_channel{};  // the channel last_content_height belongs to
  bool has_last = false;

  struct Row {
    std::uint64_t key = 0;  // everything the height depends on, hashed
    double height = 0;
    bool estimated = false;  // not shaped yet; never stored in `rows`
  };
  std::unordered_map<std::string, Row> rows{};  // by message id
  // Last frame's rows in list order, so an unchanged list reads its heights contiguously.
  struct Slot {
    std::string id;
    Row row;
  };
  std::vector<Slot> order{};
  // Row keys of the last frame, reused while the model (by generation), the columns, the scale,
  // the read permission and the edited message stay the same: hashing every text of a long
  // channel each frame costs more than drawing it.
  struct KeyMemo {
    std::uint64_t generation = 0;
    double wrap = 0;
    double scale = 0;
    bool can_read = false;
    std::optional<std::string> editing{};
    std::vector<std::uint64_t> keys{};
  };
  KeyMemo key_memo{};

  // Geometry of the last drawn frame.
  zarn_ui::Rect list{};
  double content_top = 0;   // where the content starts, relative to list.y0
  std::string day_label{};  // above the first message ("Today" for an empty channel)
  std::size_t rows_drawn = 0;
  std::size_t rows_measured = 0;   // rows whose height had to be measured this frame
  std::size_t rows_estimated = 0;  // rows still on an estimated height
};

// Paints the conversation between the pane edges of state.layout.panes, registering regions,
// and stores the main composer's rectangle in state.layout.main_composer.
void draw_conversation(ViewFrame& frame);

// The edit-history popover, when open (a Dismiss region over the bounds first).
void draw_edit_history_popover(ViewFrame& frame);

// --- Pure pieces, exposed for tests -------------------------------------------------------

// Whether `next` joins the group whose last message is `last`: same author and less than 301
// seconds apart.
bool continues_group(const document::Message& last, const document::Message& next);

struct ScrollInput {
  double content_height = 0;
  double list_height = 0;
  std::optional<double> previous_height{};  // last frame's height for the same channel
  std::optional<double> reveal_center{};    // a message centre to bring to the middle
};
struct ScrollResult {
  double offset = 0;
  bool follow = true;
  double content_top = 0;  // relative to the list's top
};
// Applies the growth, fit, reveal and clamp rules to an offset scrolled back from the bottom.
ScrollResult resolve_scroll(double offset, bool follow, const ScrollInput& in);

// Mentions sorted by start with overlapping, out-of-range and mid-character ones dropped.
std::vector<document::Mention> usable_mentions(std::string_view text,
                                               std::vector<document::Mention> mentions);

// "{emoji}  {count}".
std::string reaction_chip_label(const document::ReactionGroup& group);
// Whether the local user (or one of the ids that count as them) reacted in this group.
bool reacted_by_self(const ViewState& state, const document::ReactionGroup& group);

// The heading's subtitle; empty when there is nothing to show.
std::string heading_subtitle(const document::Channel& channel, std::string_view workspace_name,
                             bool inbox_mode);

// The sentence under an empty channel's name.
std::string empty_channel_sentence(std::string_view channel_name, bool can_write);

// "1 reply", "2 replies".
std::string reply_count_label(std::size_t count);

// A popover's rectangle: its top-left at the anchor's bottom-left (above the anchor when there
// is no room below), then pulled inside `bounds` by `margin`.
zarn_ui::Rect place_popover(const zarn_ui::Rect& anchor, const zarn_ui::Rect& bounds, double width,
                            double height, double margin);

// WCAG contrast ratio of two opaque colours (1 to 21).
double contrast_ratio(zarn_ui::Color a, zarn_ui::Color b);
// A colour of the same hue that stays readable on `background` (contrast ratio at least 4.5).
zarn_ui::Color legible_on(zarn_ui::Color color, zarn_ui::Color background);

}  // namespace chat::views
