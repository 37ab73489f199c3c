// How people appear in every view: display names, author and time labels, colours and avatars
// with presence dots. UI thread (the avatar drawing); the text helpers are pure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/read_model.h"
#include "platform/zarn_ui/geometry.h"
#include "platform/zarn_ui/text_renderer.h"
#include "platform/zarn_ui/theme.h"
#include "views/view_state.h"

namespace chat::views {

struct ViewFrame;

// Lookups in the read model by id; nullptr when absent. Messages are looked for in the current
// channel first, then among all messages when the model holds them.
const document::Channel* find_channel(const document::ReadModel& model, std::string_view id);
const document::Workspace* find_workspace(const document::ReadModel& model, std::string_view id);
const document::Message* find_message(const document::ReadModel& model, std::string_view id);

// A text style of `size` in `color`.
zarn_ui::TextStyle style(double size, zarn_ui::Color color,
                         zarn_ui::FontWeight weight = zarn_ui::FontWeight::Regular);
// One line cut with an ellipsis at `width` (at least 1).
zarn_ui::TextLayoutOptions one_line(double width);

// The person with this id among all users, or nullptr.
const document::Person* find_person(const document::ReadModel& model, std::string_view id);

// Roster name, then the name in the selected workspace's people list, then the local display
// name for the local user, then the id itself; names empty after trimming are skipped.
std::string display_name(const ViewState& state, const document::ReadModel& model,
                         std::string_view id);

// "You", the display name, or "Someone (xxxx)" with the last four characters of the id's piece
// after its last '@' or ':' (the whole id when that piece is empty).
std::string author_label(const ViewState& state, const document::ReadModel& model,
                         std::string_view id);

// "HH:MM" of the UTC time of day.
std::string time_label(std::int64_t ts);

// Day labels count from this fixed instant, so screenshots and tests do not depend on the clock.
inline constexpr std::int64_t kDayReference = 1782477600;

// The person colour for a colour index (taken modulo 8).
zarn_ui::Color person_color(const zarn_ui::Theme& theme, std::int64_t color_idx);
// The colour of a user: the local colour for the local user, the person's, or one from the id.
zarn_ui::Color user_color(const ViewState& state, const document::ReadModel& model,
                          const zarn_ui::Theme& theme, std::string_view id);

zarn_ui::Color presence_color(const zarn_ui::Theme& theme, document::Presence status);

// The user's avatar; a known person gets a presence dot (radius 0.32·r, centred 0.72·r right
// of and below the centre, over a ring 2 wider in `ring`). An unknown user shows "?" and no dot.
void draw_user_avatar(ViewFrame& frame, zarn_ui::Point center, double radius,
                      std::string_view user_id, zarn_ui::Color ring, bool presence_dot = true);

// Text without surrounding white space.
std::string trimmed(std::string_view text);

}  // namespace chat::views
