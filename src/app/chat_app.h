// ChatApp: the application object and root widget. It owns the read model, the view state, the
// four text inputs, the image store and the media transport; the platform lends it the document
// every frame. sync repairs the selection, runs the document's upkeep, drains background work and
// rebuilds the read model; draw paints every view and rebuilds the hit regions; handle_event
// routes input to menus, text inputs and controls. UI thread only.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "actions/chat_action.h"
#include "app/local_identity.h"
#include "attachments/attach_controller.h"
#include "document/read_model.h"
#include "document/upkeep.h"
#include "media/media_transport.h"
#include "platform/zarn_ui/context_menu.h"
#include "platform/zarn_ui/image_store.h"
#include "platform/zarn_ui/tooltip_host.h"
#include "platform/zarn_ui/widget.h"
#include "views/control_id.h"
#include "views/control_label.h"
#include "views/view_state.h"

namespace chat::app {

class ChatApp : public zarn_ui::Widget {
 public:
  ChatApp();
  ~ChatApp() override;

  // Only the window's factory sets it; it chooses the starter content over the demonstration
  // content and upserts the local user.
  void set_interactive(bool interactive);
  void set_local_identity(const LocalIdentity& identity);
  void set_media(std::unique_ptr<media::MediaTransport> media);
  media::MediaTransport* media() const { return media_.get(); }

  views::ViewState& view() { return state_; }
  const views::ViewState& view() const { return state_; }
  const document::ReadModel& model() const { return model_; }
  const std::vector<views::HitRegion>& regions() const { return regions_; }
  zarn_ui::ImageStore& images() { return *images_; }

  // Opens the context menu chosen by the region under the pointer (none: the workspace menu)
  // at a logical point, replacing any open menu.
  void open_context_menu(const views::ControlId* region, zarn_ui::Point at);
  const zarn_ui::ContextMenu& context_menu() const { return menu_; }

  // Carries out a control as if it had been clicked (the activation table).
  void activate(const views::ControlId& id, zarn_ui::FrameCtx& ctx);
  // Rebuilds the read model from the lent document and recomputes input focus.
  void refresh(zarn_ui::FrameCtx& ctx);

  // Widget operations.
  void sync(zarn_ui::FrameCtx& ctx) override;
  zarn_ui::Size build_layout(const zarn_ui::Constraints& constraints,
                             zarn_ui::FrameCtx& ctx) override;
  void apply_layout(const zarn_ui::Rect& bounds, zarn_ui::FrameCtx& ctx) override;
  void draw(zarn_ui::Painter& painter, zarn_ui::FrameCtx& ctx) override;
  void draw_with_presence(zarn_ui::Painter& painter, zarn_ui::FrameCtx& ctx,
                          const zarn_ui::PresenceCtx& presence) override;
  void handle_event(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx) override;
  zarn_ui::AccessNode accessibility() const override;
  std::optional<zarn_ui::Rect> synthetic_accessibility_rect(std::size_t index) const override;
  bool focus_synthetic_accessibility(std::size_t index) override;
  // Text actions apply at once; an activation, which needs the lent document, runs at the next
  // sync. False for ids that are not among the focusable controls.
  bool perform_semantic_action(std::string_view id, const zarn_ui::SemanticAction& action) override;
  bool needs_animation_frame() const override;
  bool take_surface_changed() override;

 private:
  enum class Direction { Forward, Backward };

  // ---- chat_app.cpp: frame cycle, presence, focus.
  void apply_presence(const zarn_ui::PresenceCtx& presence, const zarn_ui::Theme& theme);
  void repair_selection(zarn_ui::FrameCtx& ctx);
  void drain_attachments(zarn_ui::FrameCtx& ctx);
  // Splices composer edits not yet in the document (from semantic text actions) into drafts.
  void flush_composer_edits(zarn_ui::FrameCtx& ctx);
  void recompute_focus();
  document::LocalUser local_user() const;

  // ---- chat_app_input.cpp: event routing.
  void handle_key(const zarn_ui::KeyEvent& key, const zarn_ui::Event& event,
                  zarn_ui::EventCtx& ctx);
  void handle_text(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx);
  void handle_pointer_move(const zarn_ui::PointerMoveEvent& move, const zarn_ui::Event& event,
                           zarn_ui::EventCtx& ctx);
  void handle_wheel(const zarn_ui::WheelEvent& wheel, zarn_ui::EventCtx& ctx);
  void handle_button(const zarn_ui::ButtonEvent& button, const zarn_ui::Event& event,
                     zarn_ui::EventCtx& ctx);
  // Sends an event to the active composer and acts on its submit flag and edits.
  void route_to_composer(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx);
  void move_focus(Direction direction);
  // The input a text-field control stands for; none for other controls.
  zarn_ui::TextInput* text_input_for(views::ControlKind kind);
  // Pointer moves and releases reach every input, so a drag-selection can end anywhere.
  void forward_to_inputs(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx);
  // Keyboard focus landing on a composer moves thread focus with it; then input focus follows.
  void note_focused_control(views::ControlKind kind);
  // Closes the topmost open surface for Escape; false when nothing was open.
  bool escape_topmost(zarn_ui::FrameCtx& ctx);
  const views::HitRegion* region_at(zarn_ui::Point p) const;
  // Whether a point lies on a side pane that slides over the conversation.
  bool inside_overlaying_pane(zarn_ui::Point p) const;
  bool inside_popover_card(zarn_ui::Point p) const;
  double logical_scale(const zarn_ui::FrameCtx& ctx) const;
  std::optional<zarn_ui::Tooltip> tooltip_at(zarn_ui::Point p) const;

  // ---- chat_app_activate.cpp: the activation table and the chat actions behind it.
  void run_activation(const views::ControlId& id, zarn_ui::FrameCtx& ctx);
  void dispatch(const actions::ChatAction& action, zarn_ui::FrameCtx& ctx);
  zarn_ui::TextInput& active_composer();
  bool thread_composer_active() const;
  std::optional<std::string> active_draft_key() const;
  // Writes the composer's text to its draft when the input reports an edit.
  void splice_composer_edit(zarn_ui::TextInput& input, std::string_view key,
                            zarn_ui::FrameCtx& ctx);
  void send_active(zarn_ui::FrameCtx& ctx);
  void insert_into_composer(std::string_view text, zarn_ui::FrameCtx& ctx);
  void start_edit(const std::string& message_id);
  void start_edit_newest();
  void save_edit(zarn_ui::FrameCtx& ctx);
  void cancel_edit();
  void start_rename(views::RenameTarget target, std::string name);
  void commit_rename(zarn_ui::FrameCtx& ctx);
  void cancel_rename();
  void toggle_reaction(const std::string& message_id, const std::string& emoji,
                       zarn_ui::FrameCtx& ctx);
  void select_channel(const std::string& channel_id, zarn_ui::FrameCtx& ctx);
  void open_attach(zarn_ui::FrameCtx& ctx);
  void close_attach();
  void mirror_attach();
  void close_thread();
  void jump_to_latest();
  void dismiss();
  // Minimal local call handling until the call subsystem takes it over.
  void join_call(const std::string& channel, zarn_ui::FrameCtx& ctx);
  void leave_call(zarn_ui::FrameCtx& ctx);
  void publish_call_state(zarn_ui::FrameCtx& ctx);
  void start_call(zarn_ui::FrameCtx& ctx);

  // ---- chat_app_menu.cpp: context menus.
  struct MenuTarget {
    enum class Kind { Channel, Category, Message, Workspace };
    Kind kind = Kind::Workspace;
    std::string id;
  };
  // Gives an event to the open menu; true when the event goes no further.
  bool route_to_menu(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx);
  // Runs a chosen item when the write permission holds.
  void choose_menu_item(const MenuTarget& target, std::uint32_t code, zarn_ui::FrameCtx& ctx);
  void carry_out_menu_item(const MenuTarget& target, std::uint32_t code, zarn_ui::FrameCtx& ctx);
  // A long leftward swipe on a channel row: the channel menu's Delete.
  void swipe_delete(const std::string& channel, zarn_ui::FrameCtx& ctx);

  // ---- chat_app_access.cpp.
  std::vector<views::FocusableControl> focusable() const;

  bool context_menu_open() const { return menu_.is_open(); }
  bool transient_open() const;

  views::ViewState state_;
  document::ReadModel model_;
  document::ReadModelCache cache_;
  document::UpkeepState upkeep_;
  std::vector<views::HitRegion> regions_;
  std::unique_ptr<zarn_ui::ImageStore> images_;
  std::unique_ptr<media::MediaTransport> media_;
  zarn_ui::TooltipHost tooltips_;
  zarn_ui::ContextMenu menu_;
  MenuTarget menu_target_;
  // An item chosen through accessibility waits for the next sync, which lends the document.
  std::optional<std::pair<MenuTarget, std::uint32_t>> pending_menu_choice_;
  bool surface_changed_ = false;
  bool animating_ = false;

  // Made on the first Attach; until then the popover state is whatever was staged in state_.
  std::unique_ptr<attachments::AttachController> attach_;
  bool attach_listing_seen_ = false;
  // Semantic actions arrive without a host context; they run at the next sync.
  std::vector<views::ControlId> pending_activations_;
  bool composer_edits_pending_ = false;
  std::chrono::steady_clock::time_point last_now_{};
};

}  // namespace chat::app
