#include "app/shot.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <variant>

#include "app/startup.h"
#include "views/attachment_card.h"

namespace chat::app {

namespace {

using views::Flap;

constexpr zarn_ui::launch::ShotSize kDefaultSize{1280, 800};
constexpr auto kPreloadLimit = std::chrono::seconds(3);

constexpr std::string_view kThreadRoot = "m_concept";
constexpr std::string_view kCallChannel = "c_huddle";
constexpr std::string_view kEditedMessage = "m_me2";
constexpr std::string_view kMenuChannel = "c_frontend";

void reset(views::ViewState& v) {
  v.selection.open_thread.reset();
  v.call = views::CallViewState{};
}

// Holds a flap in place; without a progress it keeps easing from where it is.
void hold(Flap& flap, bool shown, std::optional<double> progress = std::nullopt) {
  flap.override_state = shown ? Flap::Override::Shown : Flap::Override::Hidden;
  if (progress) flap.progress = *progress;
}

void close_right(views::ViewState& v) {
  hold(v.layout.right, false, 0.0);
}

void join_collapsed_call(views::ViewState& v) {
  v.call = views::CallViewState{};
  v.call.in_call = true;
  v.call.channel = std::string(kCallChannel);
}

void open_attach_popover(views::ViewState& v) {
  reset(v);
  close_right(v);
  v.attach.open = true;
  v.attach.files = {
      {std::string(views::kDemoCallGrid), "call-overlay-v3.png", 84992, false},
      {std::string(views::kDemoSharedShot), "design-handoff.png", 132480, false},
  };
}

// Asks the image store for every picture the frame will paint, so the shot shows them decoded
// rather than in their loading state.
void preload_pictures(ChatApp& app) {
  const views::ViewState& v = app.view();
  for (const document::Message& m : app.model().messages) {
    if (!m.attachment) continue;
    const auto* image = std::get_if<document::ImageAttachment>(&*m.attachment);
    if (image == nullptr || !views::attachment_access_allowed(image->blob, v.can_read())) {
      continue;
    }
    (void)app.images().get(views::image_key(image->blob));
  }
  for (const attachments::ListingEntry& file : v.attach.files) (void)app.images().get(file.path);
  (void)app.images().block_until_idle(kPreloadLimit);
}

}  // namespace

void apply_shot_preset(ChatApp& app, std::string_view layout) {
  views::ViewState& v = app.view();
  if (layout == "narrow") {
    reset(v);
    hold(v.layout.left, false, 0.0);
    close_right(v);
  } else if (layout == "history") {
    reset(v);
    close_right(v);
    v.follow_latest = false;
    v.scroll_offset = 220;
  } else if (layout == "people") {
    reset(v);
    hold(v.layout.right, true, 1.0);
  } else if (layout == "thread-narrow") {
    v.selection.open_thread = std::string(kThreadRoot);
    hold(v.layout.right, true, 1.0);
    v.call = views::CallViewState{};
  } else if (layout == "collaboration") {
    v.selection.open_thread = std::string(kThreadRoot);
    hold(v.layout.right, true);
    join_collapsed_call(v);
  } else if (layout == "starter") {
    v.starter = true;
    reset(v);
    close_right(v);
  } else if (layout == "call" || layout == "share") {
    v.selection.open_thread.reset();
    close_right(v);
    join_collapsed_call(v);
    v.call.expanded = true;
    v.call.sharing = layout == "share";
  } else if (layout.starts_with("floating-call")) {
    v.selection.open_thread.reset();
    close_right(v);
    join_collapsed_call(v);
  } else if (layout == "attach") {
    open_attach_popover(v);
  } else if (layout == "attach-loading") {
    open_attach_popover(v);
    v.attach.files.clear();
    v.attach.outstanding_listing = 0;
    v.attach.status = "Loading attachments\xE2\x80\xA6";
  } else if (layout == "attach-error") {
    open_attach_popover(v);
    v.attach.status = "Attachment import failed: file is unavailable";
  } else if (layout == "edit") {
    reset(v);
    close_right(v);
    v.editing_message = std::string(kEditedMessage);
    v.edit_input.set_text(kShotEditText);
    v.edit_input.set_cursor_pos(kShotEditText.size());
    // The next read-model refresh recomputes input focus, which lands on the edit input.
    v.thread_focus = false;
  } else if (layout == "composer") {
    reset(v);
    close_right(v);
    v.thread_focus = false;
    v.composer_override =
        "Shipping the composer on the shared TextInput \xE2\x80\x94 real caret, selection, and "
        "Ctrl+C/V now.\nEnter sends, Shift+Enter for a new line.\nPlease check teh adress";
  } else if (layout == "context") {
    reset(v);
    close_right(v);
    const auto region = views::ControlId::of(views::ControlKind::Channel, std::string(kMenuChannel));
    app.open_context_menu(&region, {240, 230});
  } else if (layout == "msgmenu") {
    reset(v);
    close_right(v);
    const auto region =
        views::ControlId::of(views::ControlKind::MessageMenu, std::string(kEditedMessage));
    app.open_context_menu(&region, {360, 300});
  } else {
    // "compact", unknown names and no name.
    reset(v);
    close_right(v);
  }
}

zarn::Result<StagedShot> stage_shot(const zarn_ui::launch::ShotRequest& request) {
  auto app = std::make_unique<ChatApp>();
  apply_shot_preset(*app, request.layout.value_or(std::string()));

  const auto size = request.size.value_or(kDefaultSize);
  auto frame = zarn_ui::launch::ShotFrame::create(size.width, size.height,
                                                  zarn_ui::launch::shot_theme(request));
  if (!frame) return std::move(frame).take_error();
  auto doc = zarn_ui::persist::open({std::string(kAppId)}, {});
  if (!doc) return std::move(doc).take_error();

  StagedShot shot{std::move(doc).value(), std::move(app), std::move(frame).value()};
  shot.frame.sync(*shot.app, shot.doc->doc());
  preload_pictures(*shot.app);
  if (auto laid = shot.frame.layout(*shot.app); !laid) {
    return zarn::make_error(laid.error().display());
  }
  shot.frame.draw(*shot.app);
  shot.frame.draw_floating_surfaces(*shot.app);
  return shot;
}

zarn::Result<void> render_shot(const zarn_ui::launch::ShotRequest& request) {
  if (!request.output) return zarn::make_error("missing screenshot output");
  auto shot = stage_shot(request);
  if (!shot) return std::move(shot).take_error();
  // A failed write is reported as a failure, never announced as a written shot.
  ZARN_TRY(shot->frame.write_png(*request.output));
  std::printf("chat: wrote shot to %s\n", request.output->c_str());
  std::fflush(stdout);
  if (request.a11y) ZARN_TRY(shot->frame.write_a11y(*request.a11y));
  return zarn::ok();
}

}  // namespace chat::app
