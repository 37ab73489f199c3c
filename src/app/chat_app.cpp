#include "app/chat_app.h"

#include <algorithm>
#include <utility>

#include "platform/zarn_ui/painter.h"
#include "views/conversation.h"
#include "views/frame.h"
#include "views/image_loader.h"
#include "views/layout.h"
#include "views/people.h"
#include "views/popovers.h"
#include "views/right_pane.h"
#include "views/sidebar.h"

namespace chat::app {

namespace {
constexpr double kScrimOpacity = 0.55;
constexpr double kFocusRingWidth = 2;
constexpr double kFocusRingRadius = 9;
}  // namespace

ChatApp::ChatApp() : images_(std::make_unique<zarn_ui::ImageStore>(views::make_image_loader())) {
  // Screenshots act as the demonstration content's own user until a factory says otherwise.
  state_.local = {"u_me", "You", "YU", 0};
  const auto now = std::chrono::steady_clock::now();
  state_.layout.left = views::Flap::make(true, now);
  state_.layout.right = views::Flap::make(false, now);
  state_.conversation_cache = std::make_shared<views::ConversationCache>();
  state_.rename_input.set_line_mode(zarn_ui::LineMode::Single);
  state_.edit_input.set_placeholder("Edit message\u2026");
  state_.thread_composer.set_placeholder("Reply\u2026");
  recompute_focus();
}

ChatApp::~ChatApp() = default;

void ChatApp::set_interactive(bool interactive) {
  state_.interactive = interactive;
}

void ChatApp::set_local_identity(const LocalIdentity& identity) {
  state_.local = {identity.id, identity.name, identity.initials, identity.color_idx};
}

void ChatApp::set_media(std::unique_ptr<media::MediaTransport> media) {
  media_ = std::move(media);
}

document::LocalUser ChatApp::local_user() const {
  return {state_.local.id, state_.local.name, state_.local.initials,
          static_cast<std::int64_t>(state_.local.color_idx)};
}

// ---- Frame cycle.

void ChatApp::sync(zarn_ui::FrameCtx& ctx) {
  last_now_ = ctx.now();
  crdt::Document* doc = ctx.document();
  if (doc == nullptr) return;
  // Calls and screen capture have nothing pending yet: no call subsystem is wired in.
  upkeep_.interactive = state_.interactive;
  upkeep_.starter = state_.starter;
  document::run_upkeep(*doc, upkeep_, local_user());
  doc->commit();
  flush_composer_edits(ctx);
  drain_attachments(ctx);
  refresh(ctx);
  repair_selection(ctx);
  if (auto choice = std::exchange(pending_menu_choice_, std::nullopt)) {
    choose_menu_item(choice->first, choice->second, ctx);
  }
  if (!pending_activations_.empty()) {
    auto pending = std::move(pending_activations_);
    pending_activations_.clear();
    for (const auto& id : pending) activate(id, ctx);
  }
}

void ChatApp::refresh(zarn_ui::FrameCtx& ctx) {
  crdt::Document* doc = ctx.document();
  if (doc != nullptr) {
    document::ReadModelInputs inputs{state_.selection, local_user(), state_.self_ids};
    // No view reads every channel's messages; the search catalogue reads them on demand.
    inputs.all_messages = document::AllMessages::Skip;
    const document::ReadModel& rebuilt = cache_.rebuild(*doc, inputs);
    if (!cache_.last_was_reused()) {
      model_ = rebuilt;
      ++state_.model_generation;
    }
    state_.selection.context_workspace = model_.context_workspace;
    state_.selection.current_channel = model_.current_channel;

    auto& main = state_.main_composer;
    if (main.text() != model_.main_composer.text) main.set_text(model_.main_composer.text);
    main.set_placeholder(model_.main_composer.placeholder);
    main.set_local_author(model_.main_composer.author);
    auto& thread = state_.thread_composer;
    if (thread.text() != model_.thread_composer.text) thread.set_text(model_.thread_composer.text);
    thread.set_placeholder(model_.thread_composer.placeholder);
    thread.set_local_author(state_.local.id);
    if (state_.composer_override) {
      main.set_text(*state_.composer_override);
      main.set_cursor_pos(state_.composer_override->size());
    }
  }
  recompute_focus();
}

void ChatApp::repair_selection(zarn_ui::FrameCtx& ctx) {
  auto& sel = state_.selection;
  bool changed = false;
  const bool workspace_exists =
      std::any_of(model_.workspaces.begin(), model_.workspaces.end(),
                  [&](const auto& w) { return w.id == sel.selected_workspace; });
  if (!workspace_exists && !model_.workspaces.empty()) {
    sel.selected_workspace = model_.workspaces.front().id;
    sel.context_workspace = sel.selected_workspace;
    sel.current_channel.clear();
    changed = true;
  }
  if (sel.open_thread) {
    const bool parent_exists = std::any_of(model_.messages.begin(), model_.messages.end(),
                                           [&](const auto& m) { return m.id == *sel.open_thread; });
    if (!parent_exists) {
      sel.open_thread.reset();
      state_.thread_focus = false;
      changed = true;
    }
  }
  if (changed) refresh(ctx);
}

void ChatApp::drain_attachments(zarn_ui::FrameCtx& ctx) {
  if (!attach_) return;
  const auto access =
      state_.can_write() ? attachments::WriteAccess::Granted : attachments::WriteAccess::Denied;
  attachments::Drained drained = attach_->drain(access, state_.local.id);
  mirror_attach();
  if (drained.post) {
    dispatch(*drained.post, ctx);
    jump_to_latest();
  }
}

void ChatApp::flush_composer_edits(zarn_ui::FrameCtx& ctx) {
  if (!composer_edits_pending_) return;
  composer_edits_pending_ = false;
  const std::string& channel = state_.selection.current_channel;
  if (channel.empty()) return;
  splice_composer_edit(state_.main_composer, document::draft_key(channel), ctx);
  if (state_.selection.open_thread) {
    splice_composer_edit(state_.thread_composer,
                         document::thread_draft_key(channel, *state_.selection.open_thread), ctx);
  }
}

void ChatApp::recompute_focus() {
  const bool busy = state_.editing_message.has_value() || state_.rename.has_value();
  const bool thread = state_.thread_focus && state_.selection.open_thread.has_value();
  state_.main_composer.set_focused(!busy && !state_.thread_focus);
  state_.thread_composer.set_focused(!busy && thread);
  state_.edit_input.set_focused(state_.editing_message.has_value() && !state_.rename);
  state_.rename_input.set_focused(state_.rename.has_value());
}

// ---- Presence.

void ChatApp::apply_presence(const zarn_ui::PresenceCtx& presence, const zarn_ui::Theme& theme) {
  if (presence.self_user_id && *presence.self_user_id != state_.local.id) {
    state_.local.id = *presence.self_user_id;
    state_.local.color_idx = fnv1a64(state_.local.id) % 8;
    if (std::find(state_.self_ids.begin(), state_.self_ids.end(), state_.local.id) ==
        state_.self_ids.end()) {
      state_.self_ids.push_back(state_.local.id);
    }
  }
  if (presence.self_display_name && *presence.self_display_name != state_.local.name) {
    state_.local.name = *presence.self_display_name;
    state_.local.initials = initials_of(state_.local.name);
  }
  state_.roster.clear();
  for (const auto& entry : presence.roster) {
    std::string name = views::trimmed(entry.display_name);
    if (name.empty()) continue;
    state_.roster[entry.user_id] = {std::move(name), presence.color_for(entry.user_id, theme)};
  }
  state_.presence = presence;
}

void ChatApp::draw_with_presence(zarn_ui::Painter& painter, zarn_ui::FrameCtx& ctx,
                                 const zarn_ui::PresenceCtx& presence) {
  apply_presence(presence, ctx.theme());
  draw(painter, ctx);
}

// ---- Layout and drawing.

zarn_ui::Size ChatApp::build_layout(const zarn_ui::Constraints& constraints, zarn_ui::FrameCtx&) {
  return constraints.max;
}

void ChatApp::apply_layout(const zarn_ui::Rect& bounds, zarn_ui::FrameCtx&) {
  bounds_ = bounds;
  state_.layout.bounds = bounds;
}

void ChatApp::draw(zarn_ui::Painter& painter, zarn_ui::FrameCtx& ctx) {
  auto& layout = state_.layout;
  const auto now = ctx.now();
  last_now_ = now;
  layout.scale = ctx.text_scale();
  if (auto flags = views::layout_flags(layout.bounds, layout.scale)) layout.flags = *flags;
  layout.left.set_collapsed(layout.flags.narrow);
  layout.right.set_collapsed(layout.flags.compact);
  const bool left_moved = layout.left.tick(now);
  const bool right_moved = layout.right.tick(now);
  animating_ = left_moved || right_moved;
  tooltips_.tick(now);
  layout.panes = views::pane_geometry(layout.bounds, layout.scale, layout.flags, layout.left,
                                      layout.right, state_.selection.open_thread.has_value());

  regions_.clear();
  layout.popover_cards.clear();
  const zarn_ui::Theme& theme = ctx.theme();
  views::ViewFrame frame{painter, theme, model_, state_, regions_, images_.get(), now};
  painter.fill_rect(layout.bounds, theme.surface_base);

  views::draw_conversation(frame);

  auto scrim = [&](double progress) {
    const double p = std::clamp(progress, 0.0, 1.0);
    painter.fill_rect(layout.bounds, theme.scrim.with_alpha(kScrimOpacity * p));
    frame.add_region(layout.bounds, views::ControlId::of(views::ControlKind::Dismiss));
  };
  if (layout.left.visible()) {
    if (layout.flags.narrow && std::clamp(layout.left.progress, 0.0, 1.0) > 0.001) {
      scrim(layout.left.progress);
    }
    views::draw_left_pane(frame, layout.panes.left_pane_x);
  }
  if (layout.right.visible()) {
    if (layout.flags.compact && std::clamp(layout.right.progress, 0.0, 1.0) > 0.001) {
      scrim(layout.right.progress);
    }
    views::draw_right_pane(frame);
  }
  views::draw_edit_history_popover(frame);
  views::draw_emoji_picker(frame);
  views::draw_attach_popover(frame);
  if (menu_.is_open()) menu_.draw(painter, theme);

  tooltips_.draw(painter, theme, layout.bounds);

  if (state_.focus_index) {
    const auto controls = focusable();
    if (*state_.focus_index < controls.size()) {
      const zarn_ui::Rect r = controls[*state_.focus_index].node.rect;
      painter.stroke_rounded_rect(r.inset(-kFocusRingWidth), kFocusRingRadius, theme.focus,
                                  kFocusRingWidth);
    }
  }
}

bool ChatApp::needs_animation_frame() const {
  return animating_ || tooltips_.is_waiting() || !images_->is_idle();
}

bool ChatApp::take_surface_changed() {
  return std::exchange(surface_changed_, false);
}

}  // namespace chat::app
