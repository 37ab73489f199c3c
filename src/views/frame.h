// ViewFrame: what every view function paints with for one frame: the painter and theme, the read
// model, the application's view state and the hit-region list the frame builds. UI thread only;
// lives for one draw.
#pragma once

#include <chrono>
#include <vector>

#include "document/read_model.h"
#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/theme.h"
#include "views/control_id.h"
#include "views/view_state.h"

namespace zarn_ui {
class ImageStore;
}

namespace chat::views {

struct ViewFrame {
  zarn_ui::Painter& painter;
  const zarn_ui::Theme& theme;
  const document::ReadModel& model;
  ViewState& state;
  std::vector<HitRegion>& regions;
  zarn_ui::ImageStore* images = nullptr;  // none in tests that draw no pictures
  std::chrono::steady_clock::time_point now{};

  double scale() const { return state.layout.scale; }
  zarn_ui::TextRenderer& text() const { return painter.text(); }
  // Appends a region; later regions lie on top.
  void add_region(const zarn_ui::Rect& rect, ControlId id) const {
    regions.push_back({rect, std::move(id)});
  }
};

}  // namespace chat::views
