#include "app/shot.h"

#include <cstdio>

#include "app/overview_widget.h"
#include "app/startup.h"
#include "platform/zarn_ui/shot_frame.h"

namespace chat::app {

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

}  // namespace chat::app
