#include "demo_widget.h"

#include <cmath>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/surfaces.h"

namespace zarn_ui::testing {

namespace {

// A picture drawn by the loader itself, so the test needs no image files.
zarn::Result<LoadedImage> draw_gradient(const std::string&) {
  Image img = Image::blank(64, 48);
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      auto r = static_cast<std::uint32_t>(x * 255 / (img.width - 1));
      auto b = static_cast<std::uint32_t>(y * 255 / (img.height - 1));
      img.pixels[static_cast<std::size_t>(y * img.width + x)] =
          0xff000000u | r << 16 | 0x40u << 8 | b;
    }
  }
  return LoadedImage{std::move(img)};
}

}  // namespace

DemoWidget::DemoWidget() : images_(std::make_unique<ImageStore>(draw_gradient)) {
  input_.set_placeholder("Type here");
  input_.set_text("Hello, editor");
  menu_.push({1, "Rename", 0, false, false, false});
  menu_.push({2, "Delete", 0, true, false, false});
}

void DemoWidget::sync(FrameCtx&) {
  ++syncs_;
  (void)images_->get(kPictureKey);
}

void DemoWidget::open_menu(Point at) {
  menu_.open_at_clamped(at, bounds_);
}

std::optional<Rect> DemoWidget::popup_rect() const {
  if (!menu_.is_open()) return std::nullopt;
  return menu_.popup_rect();
}

void DemoWidget::draw(Painter& p, FrameCtx& ctx) {
  const Theme& theme = ctx.theme();
  controls_.clear();
  const Rect b = bounds_;
  const double m = theme.outer_margin;

  TextStyle title{theme.title_size, FontWeight::Bold, theme.text_strong};
  Size title_size = p.draw_text("Platform demo", {b.x0 + m, b.y0 + m}, title);
  controls_.push_back({"demo.title", "Platform demo", AccessRole::Heading,
                       Rect::from_xywh(b.x0 + m, b.y0 + m, title_size.width, title_size.height)});

  TextStyle body{theme.body_size, FontWeight::Regular, theme.text_muted};
  double y = b.y0 + m + title_size.height + theme.spacing_gap;
  Size emoji =
      p.draw_text("Emoji \xF0\x9F\x98\x80 \xF0\x9F\x8E\x89 \xF0\x9F\x91\x8D", {b.x0 + m, y}, body);
  y += emoji.height + theme.spacing_gap;

  Rect card = Rect::from_xywh(b.x0 + m, y, std::max(0.0, b.width() - 2 * m), 64);
  surfaces::card(p, card, theme);
  p.fill_circle({card.x0 + 32, card.y0 + 32}, 18, theme.person_color(2));
  p.stroke_circle({card.x0 + 32, card.y0 + 32}, 22, theme.accent, 2.5);
  p.line({card.x0 + 64, card.y0 + 32}, {card.x0 + 140, card.y0 + 32}, theme.edge, 1);

  Rect picture = Rect::from_xywh(card.x1 - 84, card.y0 + 8, 72, 48);
  ImageLookup lookup = images_->get(kPictureKey);
  if (lookup.state == ImageState::Ready && lookup.image) {
    image_store::paint_image_cover(p, *lookup.image, picture, 8);
  } else {
    p.fill_rounded_rect(picture, 8, theme.surface_sunken);
  }
  controls_.push_back({"demo.picture", "Gradient picture", AccessRole::Image, picture});

  Rect button = Rect::from_xywh(card.x0 + 150, card.y0 + 15, 96, theme.button.height);
  p.fill_rounded_rect(button, theme.button.radius, theme.accent);
  TextStyle label{theme.button.text_size, FontWeight::Semibold, theme.accent_text};
  p.draw_text("Send", {button.x0, button.y0 + 8}, label,
              {.wrap_width = button.width(), .align = TextAlign::Center});
  controls_.push_back({"demo.send", "Send", AccessRole::Button, button});

  y = card.y1 + theme.spacing_gap;
  Rect field = Rect::from_xywh(b.x0 + m, y, std::max(0.0, b.width() - 2 * m), 40);
  p.fill_rounded_rect(field, 10, theme.surface_sunken);
  input_.draw(p, field.inset(8), theme);
  controls_.push_back({"demo.input", "Demo text field", AccessRole::TextField, field});

  if (menu_.is_open()) menu_.draw(p, theme);
}

void DemoWidget::handle_event(const Event& event, EventCtx& ctx) {
  if (menu_.is_open()) {
    if (menu_.handle_event(event, ctx).handled) {
      ctx.set_handled();
      return;
    }
  }
  if (const auto* button = std::get_if<ButtonEvent>(&event)) {
    Point logical{button->pos.x / ctx.text_scale(), button->pos.y / ctx.text_scale()};
    for (const auto& c : controls_) {
      if (c.id == "demo.send" && c.rect.contains(logical) &&
          button->state == ButtonState::Pressed) {
        ++presses_;
        ctx.set_handled();
        return;
      }
    }
  }
  if (input_.handle_event(event, ctx)) ctx.set_handled();
}

AccessNode DemoWidget::accessibility() const {
  AccessNode root;
  root.id = "demo";
  root.label = "Demo";
  root.role = AccessRole::Window;
  root.rect = bounds_;
  for (const auto& c : controls_) {
    AccessNode n;
    n.id = c.id;
    n.label = c.label;
    n.role = c.role;
    n.rect = c.rect;
    if (c.id == "demo.input") n.value = input_.text();
    root.children.push_back(std::move(n));
  }
  if (menu_.is_open()) root.children.push_back(menu_.accessibility());
  return root;
}

}  // namespace zarn_ui::testing
