// ChatApp: the application object and root widget. It owns the read model, the view state, the
// four text inputs, the image store and the media transport; the platform lends it the document
// every frame. sync repairs the selection, runs the document's upkeep, drains background work and
// rebuilds the read model; draw paints every view and rebuilds the hit regions; handle_event
// routes input to menus, text inputs and controls. UI thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/local_identity.h"
#include "document/read_model.h"
#include "document/upkeep.h"
#include "media/media_transport.h"
#include "platform/zarn_ui/image_store.h"
#include "platform/zarn_ui/tooltip_host.h"
#include "platform/zarn_ui/widget.h"
#include "views/control_id.h"
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
  bool perform_semantic_action(std::string_view id,
                               const zarn_ui::SemanticAction& action) override;
  bool needs_animation_frame() const override;
  bool take_surface_changed() override;

 private:
  views::ViewState state_;
  document::ReadModel model_;
  document::ReadModelCache cache_;
  document::UpkeepState upkeep_;
  std::vector<views::HitRegion> regions_;
  std::unique_ptr<zarn_ui::ImageStore> images_;
  std::unique_ptr<media::MediaTransport> media_;
  zarn_ui::TooltipHost tooltips_;
  bool surface_changed_ = false;
  bool animating_ = false;
  // Set by the helper that implements the object; private members may be added freely.
};

}  // namespace chat::app
