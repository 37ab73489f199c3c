#include "app/startup.h"

#include <cstdio>

#include "app/data_dir.h"
#include "app/local_identity.h"
#include "app/overview_widget.h"
#include "platform/zarn_ui/shot_frame.h"

namespace chat::app {

zarn::Result<std::unique_ptr<zarn_ui::persist::DocumentHandle>> open_document(
    const zarn_ui::persist::OpenContext& ctx, const zarn_ui::persist::OpenOptions& options) {
  if (auto dir = resolve_data_dir()) {
    return zarn_ui::persist::open_migrating(ctx, options, document_path(*dir));
  }
  return zarn_ui::persist::open(ctx, options);
}

zarn::Result<void> render_shot(const zarn_ui::launch::ShotRequest& request) {
  if (!request.output) return zarn::make_error("missing screenshot output");
  OverviewWidget widget(OverviewWidget::Mode::Demonstration, {});

  auto doc = zarn_ui::persist::open({std::string(kAppId)}, {});
  if (!doc) return std::move(doc).take_error();

  const auto size = request.size.value_or(zarn_ui::launch::ShotSize{1280, 800});
  auto frame = zarn_ui::launch::ShotFrame::create(size.width, size.height,
                                                  zarn_ui::launch::shot_theme(request));
  if (!frame) return std::move(frame).take_error();
  frame->sync(widget, (*doc)->doc());
  if (auto laid = frame->layout(widget); !laid) return zarn::make_error(laid.error().display());
  frame->draw(widget);
  frame->draw_floating_surfaces(widget);
  auto written = frame->write_png(*request.output);
  std::printf("chat: wrote shot to %s\n", request.output->c_str());
  std::fflush(stdout);
  if (!written) return written;
  if (request.a11y) return frame->write_a11y(*request.a11y);
  return zarn::ok();
}

zarn_ui::launch::LaunchConfig make_launch_config() {
  zarn_ui::launch::LaunchConfig config;
  config.app_id = std::string(kAppId);
  config.shot_layouts.assign(kShotLayouts.begin(), kShotLayouts.end());
  config.app_factory = []() -> std::unique_ptr<zarn_ui::Widget> {
    return std::make_unique<OverviewWidget>(OverviewWidget::Mode::Interactive,
                                            resolve_local_identity());
  };
  config.shot = render_shot;
  config.register_actions = [](zarn_ui::launch::App&) {};
  config.default_window_size = [] { return zarn_ui::Size{1280, 800}; };
  config.confirm_close = [] { return true; };
  config.open_document = open_document;
  config.start_fullscreen = false;
  config.always_on_top = false;
  config.resizable = true;
  config.high_dpi = true;
  return config;
}

}  // namespace chat::app
