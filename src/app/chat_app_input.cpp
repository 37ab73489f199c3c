// Input routing of ChatApp: keys, text, pointer, wheel and buttons, in the order that lets the
// open editors and surfaces see an event before the controls beneath them.
#include <algorithm>
#include <cmath>
#include <variant>

#include "app/chat_app.h"
#include "platform/base/overloaded.h"
#include "views/people.h"

namespace chat::app {

namespace {

using zarn_ui::Key;
using K = views::ControlKind;

constexpr double kWheelLinePixels = 44;
constexpr double kSwipeDeleteTravel = 88;
constexpr double kClickSlop = 6;

}  // namespace

double ChatApp::logical_scale(const zarn_ui::FrameCtx& ctx) const {
  return std::max(ctx.text_scale(), 1.0);
}

bool ChatApp::transient_open() const {
  return state_.attach.open || context_menu_open() || state_.picker.open || state_.history.open;
}

bool ChatApp::inside_overlaying_pane(zarn_ui::Point p) const {
  const auto& layout = state_.layout;
  if (layout.flags.narrow && layout.left.visible()) {
    const double x = layout.panes.left_pane_x;
    if (p.x >= x && p.x < x + views::kLeftPaneWidth) return true;
  }
  return layout.flags.compact && layout.right.visible() && layout.panes.right_pane.contains(p);
}

bool ChatApp::inside_popover_card(zarn_ui::Point p) const {
  const auto& cards = state_.layout.popover_cards;
  return std::any_of(cards.begin(), cards.end(), [&](const auto& r) { return r.contains(p); });
}

const views::HitRegion* ChatApp::region_at(zarn_ui::Point p) const {
  for (auto it = regions_.rbegin(); it != regions_.rend(); ++it) {
    if (it->rect.contains(p)) return &*it;
  }
  return nullptr;
}

std::optional<zarn_ui::Tooltip> ChatApp::tooltip_at(zarn_ui::Point p) const {
  bool over_region = false;
  for (auto it = regions_.rbegin(); it != regions_.rend(); ++it) {
    if (!it->rect.contains(p)) continue;
    over_region = true;
    if (views::has_tooltip(it->id.kind)) {
      return zarn_ui::Tooltip{views::control_label(it->id, state_, model_), it->rect};
    }
  }
  const auto& heading = state_.layout.panes.heading;
  if (over_region || !heading.contains(p)) return std::nullopt;
  for (const auto& ch : model_.channels) {
    if (ch.id != state_.selection.current_channel) continue;
    std::string text = views::channel_prefix(ch.voice) + " " + ch.name;
    if (auto topic = views::trimmed(ch.topic); !topic.empty()) text += " \u2014 " + topic;
    return zarn_ui::Tooltip{std::move(text), heading};
  }
  return std::nullopt;
}

void ChatApp::handle_event(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx) {
  last_now_ = ctx.now();
  if (route_to_menu(event, ctx)) return;
  std::visit(
      zarn::Overloaded{
          [&](const zarn_ui::KeyEvent& key) { handle_key(key, event, ctx); },
          [&](const zarn_ui::TextEvent&) { handle_text(event, ctx); },
          [&](const zarn_ui::CompositionEvent&) { handle_text(event, ctx); },
          [&](const zarn_ui::PointerMoveEvent& move) { handle_pointer_move(move, event, ctx); },
          [&](const zarn_ui::WheelEvent& wheel) { handle_wheel(wheel, ctx); },
          [&](const zarn_ui::ButtonEvent& button) { handle_button(button, event, ctx); },
          [&](const zarn_ui::PointerLeaveEvent&) {
            if (state_.hovered) ctx.request_redraw();
            state_.hovered.reset();
            tooltips_.on_pointer(std::nullopt, ctx.now());
          },
      },
      event);
}

void ChatApp::handle_key(const zarn_ui::KeyEvent& key, const zarn_ui::Event& event,
                         zarn_ui::EventCtx& ctx) {
  if (key.state == zarn_ui::KeyState::Released) return;
  ctx.set_handled();
  ctx.request_redraw();

  if (state_.rename) {
    if (key.key == Key::Escape) {
      cancel_rename();
      return;
    }
    state_.rename_input.handle_event(event, ctx);
    (void)state_.rename_input.take_dirty();  // renames are committed whole, never as drafts
    if (state_.rename_input.take_submit()) commit_rename(ctx);
    return;
  }
  if (state_.editing_message) {
    if (key.key == Key::Escape) {
      cancel_edit();
      return;
    }
    state_.edit_input.handle_event(event, ctx);
    (void)state_.edit_input.take_dirty();  // an edit in progress is never a draft
    if (state_.edit_input.take_submit()) save_edit(ctx);
    return;
  }

  if (key.key == Key::End && key.mods.ctrl) {
    jump_to_latest();
    return;
  }
  if (key.key == Key::Tab) {
    move_focus(key.mods.shift ? Direction::Backward : Direction::Forward);
    return;
  }
  if ((key.key == Key::Enter || key.key == Key::Space) && state_.focus_index) {
    const auto controls = focusable();
    // A focused text field takes Enter and Space as typing, not as activation.
    if (*state_.focus_index < controls.size() &&
        !views::is_text_field(controls[*state_.focus_index].region.id.kind)) {
      activate(controls[*state_.focus_index].region.id, ctx);
      return;
    }
  }

  if (state_.can_write() && !transient_open() && key.key != Key::Escape) {
    const bool shift = key.mods.shift;
    if (key.key == Key::Up && !shift && active_composer().text().empty()) {
      start_edit_newest();
      return;
    }
    route_to_composer(event, ctx);
    return;
  }

  if (key.key == Key::Escape) {
    (void)escape_topmost(ctx);
    return;
  }
  if (transient_open()) return;
  if (key.key == Key::Enter) {
    if (key.mods.shift) {
      insert_into_composer("\n", ctx);
    } else {
      send_active(ctx);
    }
  }
  // ArrowUp and the rest stop here.
}

void ChatApp::handle_text(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx) {
  if (state_.rename) {
    state_.rename_input.handle_event(event, ctx);
    (void)state_.rename_input.take_dirty();
  } else if (state_.editing_message) {
    state_.edit_input.handle_event(event, ctx);
    (void)state_.edit_input.take_dirty();
  } else if (state_.can_write() && !transient_open()) {
    route_to_composer(event, ctx);
  }
  ctx.set_handled();
  ctx.request_redraw();
}

void ChatApp::route_to_composer(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx) {
  const auto key = active_draft_key();
  zarn_ui::TextInput& input = active_composer();
  input.handle_event(event, ctx);
  // The draft must hold the last keystroke before a submit reads it back.
  if (key) {
    splice_composer_edit(input, *key, ctx);
  } else {
    (void)input.take_dirty();
  }
  if (input.take_submit()) send_active(ctx);
}

void ChatApp::handle_pointer_move(const zarn_ui::PointerMoveEvent& move,
                                  const zarn_ui::Event& event, zarn_ui::EventCtx& ctx) {
  const double s = logical_scale(ctx);
  const zarn_ui::Point p{move.pos.x / s, move.pos.y / s};
  state_.pointer = p;
  const views::HitRegion* region = region_at(p);
  std::optional<views::ControlId> hovered;
  if (region) hovered = region->id;
  if (hovered != state_.hovered) {
    state_.hovered = std::move(hovered);
    ctx.request_redraw();
  }
  const bool was_visible = tooltips_.visible() != nullptr;
  tooltips_.on_pointer(tooltip_at(p), ctx.now());
  if (was_visible || tooltips_.visible() != nullptr) ctx.request_redraw();
  if (state_.gesture.active) {
    state_.gesture.current = p;
    ctx.request_redraw();
  }
  forward_to_inputs(event, ctx);
}

void ChatApp::handle_wheel(const zarn_ui::WheelEvent& wheel, zarn_ui::EventCtx& ctx) {
  const double delta = wheel.unit == zarn_ui::WheelUnit::Lines ? wheel.dy * kWheelLinePixels
                                                               : wheel.dy / logical_scale(ctx);
  if (!std::isfinite(delta) || delta == 0) return;
  // 0 is the newest message at the bottom; there is nothing below it to scroll to.
  state_.scroll_offset = std::max(0.0, state_.scroll_offset + delta);
  if (delta > 0) state_.follow_latest = false;
  ctx.set_handled();
  ctx.request_redraw();
}

void ChatApp::handle_button(const zarn_ui::ButtonEvent& button, const zarn_ui::Event& event,
                            zarn_ui::EventCtx& ctx) {
  const double s = logical_scale(ctx);
  const zarn_ui::Point p{button.pos.x / s, button.pos.y / s};
  state_.pointer = p;
  if (button.button == zarn_ui::MouseButton::Right) {
    if (button.state != zarn_ui::ButtonState::Pressed) return;
    const views::HitRegion* region = region_at(p);
    open_context_menu(region ? &region->id : nullptr, p);
    ctx.set_handled();
    ctx.request_redraw();
    return;
  }
  if (button.button != zarn_ui::MouseButton::Left) return;

  if (button.state == zarn_ui::ButtonState::Pressed) {
    const views::HitRegion* region = region_at(p);
    if (region == nullptr) return;
    ctx.set_handled();
    ctx.request_redraw();
    // Pointer use takes over from keyboard focus.
    state_.focus_index.reset();
    const views::ControlId id = region->id;
    if (id.kind == K::Channel) {
      std::size_t index = 0;
      for (std::size_t i = 0; i < model_.channels.size(); ++i) {
        if (model_.channels[i].id == id.a) index = i;
      }
      state_.gesture = {p, p, id.a, index, true};
      return;
    }
    if (id.kind == K::CallDragHandle) return;  // the floating call is not wired in yet
    // A sliding pane or a popover lies over its own Dismiss region; a press on its empty
    // background must not close it.
    if (id.kind == K::Dismiss && (inside_overlaying_pane(p) || inside_popover_card(p))) return;
    // The thread composer's Send and emoji buttons carry no payload; the press position says
    // which composer they belong to.
    if ((id.kind == K::Send || id.kind == K::ComposerEmoji) &&
        state_.selection.open_thread.has_value() &&
        state_.layout.thread_composer.contains(p) && !state_.thread_focus) {
      activate(views::ControlId::of(K::FocusThread), ctx);
    }
    activate(id, ctx);
    if (zarn_ui::TextInput* input = text_input_for(id.kind)) input->handle_event(event, ctx);
    return;
  }

  forward_to_inputs(event, ctx);
  if (!state_.gesture.active) return;
  auto& gesture = state_.gesture;
  gesture.current = p;
  gesture.active = false;
  ctx.set_handled();
  ctx.request_redraw();
  const double leftward = gesture.press.x - gesture.current.x;
  const double moved =
      std::hypot(gesture.current.x - gesture.press.x, gesture.current.y - gesture.press.y);
  if (leftward >= kSwipeDeleteTravel) {
    swipe_delete(gesture.channel, ctx);
  } else if (moved < kClickSlop) {
    activate(views::ControlId::of(K::Channel, gesture.channel), ctx);
  }
}

void ChatApp::move_focus(Direction direction) {
  const auto controls = focusable();
  if (controls.empty()) {
    state_.focus_index.reset();
    return;
  }
  const std::size_t n = controls.size();
  std::size_t next = 0;
  if (!state_.focus_index || *state_.focus_index >= n) {
    next = direction == Direction::Forward ? 0 : n - 1;
  } else {
    next = direction == Direction::Forward ? (*state_.focus_index + 1) % n
                                           : (*state_.focus_index + n - 1) % n;
  }
  state_.focus_index = next;
  note_focused_control(controls[next].region.id.kind);
}

zarn_ui::TextInput* ChatApp::text_input_for(views::ControlKind kind) {
  switch (kind) {
    case K::FocusMain:
      return &state_.main_composer;
    case K::FocusThread:
      return &state_.thread_composer;
    case K::FocusEdit:
      return &state_.edit_input;
    case K::FocusRename:
      return &state_.rename_input;
    default:
      return nullptr;
  }
}

void ChatApp::forward_to_inputs(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx) {
  for (zarn_ui::TextInput* input : {&state_.main_composer, &state_.thread_composer,
                                    &state_.edit_input, &state_.rename_input}) {
    input->handle_event(event, ctx);
  }
}

void ChatApp::note_focused_control(views::ControlKind kind) {
  if (kind == K::FocusThread) state_.thread_focus = true;
  if (kind == K::FocusMain) state_.thread_focus = false;
  recompute_focus();
}

bool ChatApp::escape_topmost(zarn_ui::FrameCtx& ctx) {
  if (state_.attach.open) {
    close_attach();
  } else if (menu_.is_open()) {
    menu_.close();
  } else if (state_.picker.open) {
    state_.picker = {};
  } else if (state_.history.open) {
    state_.history = {};
  } else if (state_.call.in_call && state_.call.expanded) {
    state_.call.expanded = false;
    surface_changed_ = true;
  } else if (state_.selection.open_thread) {
    close_thread();
  } else {
    return false;
  }
  refresh(ctx);
  return true;
}

}  // namespace chat::app
