// The activation table of ChatApp and the chat actions behind it: selection, threads, reactions,
// sending, editing, renaming, the attach popover, flaps and the local call flags.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "actions/action_json.h"
#include "app/chat_app.h"
#include "attachments/workspace_folder.h"
#include "compose/mentions.h"
#include "document/entities.h"
#include "document/ids.h"
#include "platform/zarn_ui/launch.h"
#include "views/people.h"

namespace chat::app {

namespace {

using views::find_channel;
using views::find_message;

using K = views::ControlKind;

// Used when the wall clock reads before the epoch.
constexpr std::int64_t kFallbackTime = 1782477600;

std::int64_t now_seconds() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  if (since < decltype(since)::zero()) return kFallbackTime;
  return std::chrono::duration_cast<std::chrono::seconds>(since).count();
}

}  // namespace

void ChatApp::activate(const views::ControlId& id, zarn_ui::FrameCtx& ctx) {
  state_.hovered.reset();
  state_.gesture.active = false;
  menu_.close();
  run_activation(id, ctx);
  refresh(ctx);
}

void ChatApp::run_activation(const views::ControlId& id, zarn_ui::FrameCtx& ctx) {
  auto& sel = state_.selection;
  const bool write = state_.can_write();
  switch (id.kind) {
    case K::Inbox:
      state_.inbox_mode = true;
      close_thread();
      break;
    case K::CurrentContext:
      state_.inbox_mode = false;
      if (sel.selected_workspace != sel.context_workspace) {
        sel.selected_workspace = sel.context_workspace;
        sel.open_thread.reset();
        sel.current_channel.clear();
        jump_to_latest();
      }
      break;
    case K::Channel:
    case K::VoiceChannel: {
      const document::Channel* ch = find_channel(model_, id.a);
      if (ch == nullptr) break;
      if (ch->voice || id.kind == K::VoiceChannel) {
        join_call(ch->id, ctx);
      } else {
        select_channel(ch->id, ctx);
      }
      break;
    }
    case K::CategoryToggle: {
      if (!write) break;
      for (const auto& cat : model_.categories) {
        if (cat.id == id.a) dispatch(actions::SetCategoryCollapsed{cat.id, !cat.collapsed}, ctx);
      }
      break;
    }
    case K::AddChannel: {
      if (!write) break;
      std::string channel = document::mint_id("c_");
      dispatch(
          actions::CreateChannel{id.a, id.b, channel, "new-channel", document::ChannelKind::Text},
          ctx);
      start_rename({views::RenameTarget::Kind::Channel, channel}, "new-channel");
      break;
    }
    case K::AddCategory: {
      if (!write) break;
      std::string category = document::mint_id("cat_");
      dispatch(actions::CreateCategory{id.a, category, "New Category"}, ctx);
      start_rename({views::RenameTarget::Kind::Category, category}, "New Category");
      break;
    }
    case K::FocusRename:
    case K::FocusEdit:
      recompute_focus();
      break;
    case K::Reaction:
      if (write) toggle_reaction(id.a, id.b, ctx);
      break;
    case K::AddReaction:
      state_.picker = {true, id.a, id.anchor};
      break;
    case K::OpenThread:
      if (sel.open_thread == id.a) {
        close_thread();
      } else {
        sel.open_thread = id.a;
        state_.thread_focus = true;
        state_.layout.right.override_state = views::Flap::Override::Shown;
      }
      break;
    case K::EditHistory:
      state_.history = {true, id.a, id.anchor};
      break;
    case K::MessageMenu:
      // A right press opens the message's menu; a left press on the row does nothing.
      break;
    case K::EditSave:
      save_edit(ctx);
      break;
    case K::EditCancel:
      cancel_edit();
      break;
    case K::EmojiChoice: {
      const auto target = state_.picker.message;
      state_.picker = {};
      if (target) {
        if (write) toggle_reaction(*target, id.a, ctx);
      } else {
        insert_into_composer(id.a, ctx);
      }
      break;
    }
    case K::FocusMain:
      state_.thread_focus = false;
      recompute_focus();
      break;
    case K::FocusThread:
      state_.thread_focus = true;
      recompute_focus();
      break;
    case K::Send:
      send_active(ctx);
      break;
    case K::JumpToLatest:
      jump_to_latest();
      break;
    case K::ComposerEmoji:
      if (write) state_.picker = {true, std::nullopt, id.anchor};
      break;
    case K::Attach:
      if (write) open_attach(ctx);
      break;
    case K::AttachPick: {
      if (!attach_ || sel.current_channel.empty()) break;
      (void)attach_->start_import(
          sel.current_channel, id.a,
          write ? attachments::WriteAccess::Granted : attachments::WriteAccess::Denied);
      mirror_attach();
      break;
    }
    case K::StartCall:
      if (write) start_call(ctx);
      break;
    case K::CloseThread:
      close_thread();
      break;
    case K::CallDragHandle:
      break;
    case K::CallParticipantsToggle:
      state_.call.participants_shown = !state_.call.participants_shown;
      break;
    case K::CallMute:
      if (!write) break;
      state_.call.muted = !state_.call.muted;
      if (!state_.call.muted) state_.call.deafened = false;
      publish_call_state(ctx);
      break;
    case K::CallDeafen:
      if (!write) break;
      state_.call.deafened = !state_.call.deafened;
      if (state_.call.deafened) state_.call.muted = true;
      publish_call_state(ctx);
      break;
    case K::CallAudioOnly:
      if (!write) break;
      state_.call.audio_only = !state_.call.audio_only;
      publish_call_state(ctx);
      break;
    case K::CallShareScreen:
      if (state_.call.in_call && state_.call.sharing) {
        state_.call.sharing = false;
        dispatch(actions::SetScreenShare{state_.call.channel, state_.local.id, false}, ctx);
        surface_changed_ = true;
      }
      // Starting a share needs the screen-capture request, which is not wired in yet.
      break;
    case K::CallExpand:
      state_.call.expanded = !state_.call.expanded;
      surface_changed_ = true;
      break;
    case K::CallLeave:
      if (state_.call.in_call) leave_call(ctx);
      break;
    case K::ToggleLeftFlap:
      state_.layout.left.toggle();
      break;
    case K::ToggleRightFlap:
      state_.layout.right.toggle();
      break;
    case K::Dismiss:
      dismiss();
      break;
  }
}

// ---- Dispatch.

void ChatApp::dispatch(const actions::ChatAction& action, zarn_ui::FrameCtx& ctx) {
  auto result = ctx.dispatch(actions::encode_chat_action(action));
  if (!result) {
    std::fprintf(stderr, "warning: action dispatch failed: %s; action: %s\n",
                 result.error().c_str(), actions::to_json_text(action).c_str());
  }
  refresh(ctx);
}

// ---- Composers.

bool ChatApp::thread_composer_active() const {
  return state_.thread_focus && state_.selection.open_thread.has_value();
}

zarn_ui::TextInput& ChatApp::active_composer() {
  return thread_composer_active() ? state_.thread_composer : state_.main_composer;
}

std::optional<std::string> ChatApp::active_draft_key() const {
  const std::string& channel = state_.selection.current_channel;
  if (channel.empty()) return std::nullopt;
  if (thread_composer_active()) {
    return document::thread_draft_key(channel, *state_.selection.open_thread);
  }
  return document::draft_key(channel);
}

void ChatApp::splice_composer_edit(zarn_ui::TextInput& input, std::string_view key,
                                   zarn_ui::FrameCtx& ctx) {
  if (!input.take_dirty()) return;
  crdt::Document* doc = ctx.document();
  if (doc == nullptr || !state_.can_write()) return;
  if (auto written = document::set_draft(*doc, key, input.text()); !written) {
    std::fprintf(stderr, "warning: draft not saved: %s\n", written.error().c_str());
  }
  doc->commit();
  refresh(ctx);
}

void ChatApp::insert_into_composer(std::string_view text, zarn_ui::FrameCtx& ctx) {
  if (!state_.can_write()) return;
  const auto key = active_draft_key();
  zarn_ui::TextInput& input = active_composer();
  input.insert_at_cursor(text);
  if (key) splice_composer_edit(input, *key, ctx);
}

void ChatApp::send_active(zarn_ui::FrameCtx& ctx) {
  if (!state_.can_write()) return;
  crdt::Document* doc = ctx.document();
  const auto key = active_draft_key();
  if (doc == nullptr || !key) return;
  const bool in_thread = thread_composer_active();
  std::string text = document::read_draft(*doc, *key);
  if (views::trimmed(text).empty()) return;

  std::vector<compose::MentionCandidate> candidates;
  for (const auto& person : model_.people) {
    candidates.push_back({person.id, person.name, person.agent});
  }
  for (const auto& [user, entry] : state_.roster) {
    const bool known = std::any_of(candidates.begin(), candidates.end(),
                                   [&](const auto& c) { return c.user == user; });
    if (!known) candidates.push_back({user, views::display_name(state_, model_, user), false});
  }

  actions::SendMessage msg;
  msg.channel = state_.selection.current_channel;
  msg.id = document::mint_id("m_");
  msg.author = state_.local.id;
  msg.ts = now_seconds();
  msg.mentions = compose::scan_mentions(text, candidates);
  msg.text = std::move(text);
  if (in_thread) msg.parent = state_.selection.open_thread;
  dispatch(msg, ctx);

  if (auto cleared = document::clear_draft(*doc, *key); !cleared) {
    std::fprintf(stderr, "warning: draft not cleared: %s\n", cleared.error().c_str());
  }
  doc->commit();
  if (!in_thread) jump_to_latest();
  refresh(ctx);
}

// ---- Editing and renaming.

void ChatApp::start_edit(const std::string& message_id) {
  if (!state_.can_write()) return;
  const document::Message* msg = find_message(model_, message_id);
  if (msg == nullptr || !state_.is_self(msg->author)) return;
  state_.edit_input.set_text(msg->text);
  state_.edit_input.set_cursor_pos(state_.edit_input.text().size());
  state_.editing_message = message_id;
  state_.thread_focus = false;
  state_.picker = {};
  state_.history = {};
  recompute_focus();
}

void ChatApp::start_edit_newest() {
  const auto& messages = model_.messages;
  const bool in_thread = thread_composer_active();
  for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
    if (!state_.is_self(it->author)) continue;
    const bool fits = in_thread ? it->parent == state_.selection.open_thread : !it->parent;
    if (fits) {
      start_edit(it->id);
      return;
    }
  }
}

void ChatApp::save_edit(zarn_ui::FrameCtx& ctx) {
  if (!state_.can_write() || !state_.editing_message) return;
  const std::string id = *std::exchange(state_.editing_message, std::nullopt);
  std::string text = state_.edit_input.text();
  state_.edit_input.set_text("");
  recompute_focus();
  if (views::trimmed(text).empty()) return;
  const document::Message* msg = find_message(model_, id);
  if (msg == nullptr) return;
  dispatch(actions::EditMessage{msg->channel, id, std::move(text), now_seconds()}, ctx);
}

void ChatApp::cancel_edit() {
  state_.editing_message.reset();
  state_.edit_input.set_text("");
  recompute_focus();
}

void ChatApp::start_rename(views::RenameTarget target, std::string name) {
  state_.rename_input.set_text(name);
  state_.rename_input.set_cursor_pos(state_.rename_input.text().size());
  state_.rename = std::move(target);
  recompute_focus();
}

void ChatApp::commit_rename(zarn_ui::FrameCtx& ctx) {
  if (!state_.rename) return;
  const views::RenameTarget target = *std::exchange(state_.rename, std::nullopt);
  const std::string name = views::trimmed(state_.rename_input.text());
  state_.rename_input.set_text("");
  recompute_focus();
  if (name.empty() || !state_.can_write()) return;
  if (target.kind == views::RenameTarget::Kind::Channel) {
    dispatch(actions::RenameChannel{target.id, name}, ctx);
  } else {
    dispatch(actions::RenameCategory{target.id, name}, ctx);
  }
}

void ChatApp::cancel_rename() {
  state_.rename.reset();
  state_.rename_input.set_text("");
  recompute_focus();
}

// ---- Selection, reactions, surfaces.

void ChatApp::toggle_reaction(const std::string& message_id, const std::string& emoji,
                              zarn_ui::FrameCtx& ctx) {
  const document::Message* msg = find_message(model_, message_id);
  if (msg == nullptr) return;
  for (const auto& group : msg->reactions) {
    if (group.emoji != emoji) continue;
    for (const auto& user : group.users) {
      // Remove the id that is stored, which may be another id that counts as the local user.
      if (state_.is_self(user)) {
        dispatch(actions::RemoveReaction{msg->channel, message_id, emoji, user}, ctx);
        return;
      }
    }
  }
  dispatch(actions::AddReaction{msg->channel, message_id, emoji, state_.local.id}, ctx);
}

void ChatApp::select_channel(const std::string& channel_id, zarn_ui::FrameCtx& ctx) {
  const document::Channel* ch = find_channel(model_, channel_id);
  if (ch == nullptr) return;
  auto& sel = state_.selection;
  sel.selected_workspace = ch->workspace;
  sel.current_channel = ch->id;
  sel.open_thread.reset();
  state_.thread_focus = false;
  jump_to_latest();
  if (state_.layout.flags.narrow) {
    state_.layout.left.override_state = views::Flap::Override::Hidden;
  }
  refresh(ctx);
  crdt::Document* doc = ctx.document();
  if (doc == nullptr || !state_.follow_latest || sel.current_channel != channel_id) return;
  const auto top_level =
      static_cast<std::int64_t>(std::count_if(model_.messages.begin(), model_.messages.end(),
                                              [](const auto& m) { return !m.parent.has_value(); }));
  if (document::read_mark(*doc, state_.local.id, channel_id) < top_level) {
    dispatch(actions::MarkRead{channel_id, state_.local.id, top_level}, ctx);
  }
}

void ChatApp::open_attach(zarn_ui::FrameCtx&) {
  state_.picker = {};
  state_.history = {};
  if (!attach_) {
    attachments::AttachOptions options;
    options.folder = attachments::workspace_folder();
    options.wake = [] { zarn_ui::launch::App::wake(); };
    attach_ = std::make_unique<attachments::AttachController>(std::move(options));
  }
  attach_->open();
  mirror_attach();
}

void ChatApp::close_attach() {
  if (attach_) attach_->close();
  state_.attach.open = false;
}

void ChatApp::mirror_attach() {
  if (!attach_) return;
  auto& view = state_.attach;
  const bool running = attach_->listing_running();
  // Each new listing gets a number of its own in the view, so a view can tell them apart.
  if (running && !attach_listing_seen_) ++view.request_counter;
  attach_listing_seen_ = running;
  view.open = attach_->is_open();
  view.files = attach_->entries();
  view.outstanding_listing =
      running ? std::optional<std::uint64_t>(view.request_counter - 1) : std::nullopt;
  view.status = attach_->status().value_or(std::string());
  view.folder = attach_->folder().string();
  view.import_running = attach_->pending_import().has_value();
}

void ChatApp::close_thread() {
  state_.selection.open_thread.reset();
  state_.thread_focus = false;
  recompute_focus();
}

void ChatApp::jump_to_latest() {
  state_.scroll_offset = 0;
  state_.follow_latest = true;
}

void ChatApp::dismiss() {
  auto& layout = state_.layout;
  if (state_.attach.open) {
    close_attach();
  } else if (state_.picker.open) {
    state_.picker = {};
  } else if (state_.history.open) {
    state_.history = {};
  } else if (layout.flags.narrow && layout.left.override_state == views::Flap::Override::Shown) {
    layout.left.override_state = views::Flap::Override::Hidden;
  } else if (layout.flags.compact && layout.right.override_state == views::Flap::Override::Shown) {
    layout.right.override_state = views::Flap::Override::Hidden;
  }
}

// ---- Calls, until the call subsystem takes them over: membership actions and local flags.

void ChatApp::join_call(const std::string& channel, zarn_ui::FrameCtx& ctx) {
  if (!state_.can_write()) return;
  auto& call = state_.call;
  if (call.in_call && call.channel != channel) {
    dispatch(actions::LeaveCall{call.channel, state_.local.id}, ctx);
  }
  call.in_call = true;
  call.channel = channel;
  call.expanded = false;
  call.deafened = false;
  call.sharing = false;
  dispatch(actions::JoinCall{channel, state_.local.id}, ctx);
  if (media_) {
    dispatch(actions::SetCallTicket{channel, state_.local.id, media_->ticket()}, ctx);
    media_->publish(media::MediaKind::Microphone);
  }
  publish_call_state(ctx);
  surface_changed_ = true;
}

void ChatApp::leave_call(zarn_ui::FrameCtx& ctx) {
  auto& call = state_.call;
  dispatch(actions::LeaveCall{call.channel, state_.local.id}, ctx);
  if (media_) media_->unpublish(media::MediaKind::Microphone);
  call.in_call = false;
  call.expanded = false;
  call.sharing = false;
  surface_changed_ = true;
}

void ChatApp::publish_call_state(zarn_ui::FrameCtx& ctx) {
  const auto& call = state_.call;
  if (!call.in_call) return;
  dispatch(actions::SetCallState{call.channel, state_.local.id, !call.muted, call.muted,
                                 call.deafened, call.audio_only},
           ctx);
}

void ChatApp::start_call(zarn_ui::FrameCtx& ctx) {
  if (state_.call.in_call) {
    state_.call.expanded = !state_.call.expanded;
    surface_changed_ = true;
    return;
  }
  const std::string& ws = state_.selection.selected_workspace;
  for (const auto& ch : model_.channels) {
    if (ch.workspace == ws && ch.voice && !ch.archived) {
      join_call(ch.id, ctx);
      return;
    }
  }
  // No voice channel yet: make one in the workspace's last category, where voice rooms live.
  std::string category;
  for (const auto& cat : model_.categories) {
    if (cat.workspace == ws) category = cat.id;
  }
  const std::string channel = document::mint_id("c_");
  dispatch(actions::CreateChannel{ws, category, channel, "Voice", document::ChannelKind::Voice},
           ctx);
  join_call(channel, ctx);
}

}  // namespace chat::app
