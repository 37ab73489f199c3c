// Accessibility facts of a control: its label, role and selected-or-pressed flag, and the node
// built from a hit region. Focusable controls are the frame's regions that have a node, in paint
// order; keyboard focus, tooltips and the accessibility tree all read them. Pure functions of the
// view state and the read model; UI thread (they read ViewState's text inputs).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "document/read_model.h"
#include "platform/zarn_ui/access_node.h"
#include "views/control_id.h"
#include "views/view_state.h"

namespace chat::views {

// The spoken label; empty for controls without a node (MessageMenu, CallDragHandle, Dismiss).
std::string control_label(const ControlId& id, const ViewState& state,
                          const document::ReadModel& model);

// None for the controls without a node.
std::optional<zarn_ui::AccessRole> control_role(ControlKind kind);

// Selected, pressed or checked, by role.
bool control_flag(const ControlId& id, const ViewState& state, const document::ReadModel& model);

// Controls drawn as bare glyphs, which explain themselves in a tooltip.
bool has_tooltip(ControlKind kind);

// The text fields: the composers, the edit input and the rename input.
bool is_text_field(ControlKind kind);

// "#" for a text channel, "🔊" for a voice channel.
std::string channel_prefix(bool voice);

// The node for a region, or none when its control has no node. FocusMain and FocusThread take
// the composer rectangle from the layout when it is non-empty.
std::optional<zarn_ui::AccessNode> control_node(const HitRegion& region, const ViewState& state,
                                                const document::ReadModel& model);

struct FocusableControl {
  HitRegion region;
  zarn_ui::AccessNode node;
};

// The regions that have a node, in paint order.
std::vector<FocusableControl> focusable_controls(std::span<const HitRegion> regions,
                                                 const ViewState& state,
                                                 const document::ReadModel& model);

}  // namespace chat::views
