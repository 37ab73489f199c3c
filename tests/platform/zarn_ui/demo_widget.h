// A small demo root widget for headless rendering tests: a title, an emoji line, painter shapes,
// a text input, a context menu and a picture from the image store, each control registered with
// an id so the accessibility output can be checked. Test-only; UI thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/zarn_ui/context_menu.h"
#include "platform/zarn_ui/image_store.h"
#include "platform/zarn_ui/text_input.h"
#include "platform/zarn_ui/widget.h"

namespace zarn_ui::testing {

class DemoWidget : public Widget {
 public:
  static constexpr const char* kPictureKey = "demo://gradient";

  DemoWidget();

  void sync(FrameCtx& ctx) override;
  void draw(Painter& painter, FrameCtx& ctx) override;
  void handle_event(const Event& event, EventCtx& ctx) override;
  AccessNode accessibility() const override;
  bool has_popup() const override { return menu_.is_open(); }
  std::optional<Rect> popup_rect() const override;

  void open_menu(Point at);
  ImageStore& images() { return *images_; }
  TextInput& input() { return input_; }
  int syncs() const { return syncs_; }
  int presses() const { return presses_; }

 private:
  struct Control {
    std::string id;
    std::string label;
    AccessRole role;
    Rect rect;
  };

  std::vector<Control> controls_;
  TextInput input_;
  ContextMenu menu_;
  std::unique_ptr<ImageStore> images_;
  int syncs_ = 0;
  int presses_ = 0;
};

}  // namespace zarn_ui::testing
