// The ChatApp test fixture: a ChatApp over a document seeded with the demonstration content,
// with helpers to send events, draw frames and look up regions. Test thread only.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "actions/typed_action.h"
#include "app/chat_app.h"
#include "platform/crdt/document.h"
#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/text_renderer.h"

namespace chat::app {

// A ChatApp over a document seeded with the demonstration content, driven through a BasicHost
// whose dispatches are applied to that document.
class ChatAppTest : public ::testing::Test {
 protected:
  ChatAppTest() {
    actions::register_chat_action(registry);
    host.doc = &doc;
    host.registry = &registry;
    sync();
  }
  ~ChatAppTest() override {
    if (surface) cairo_surface_destroy(surface);
  }

  void sync() {
    zarn_ui::FrameCtx ctx(host);
    app.sync(ctx);
  }
  void activate(views::ControlId id) {
    zarn_ui::FrameCtx ctx(host);
    app.activate(id, ctx);
  }
  void send(const zarn_ui::Event& event) {
    zarn_ui::EventCtx ctx(host);
    app.handle_event(event, ctx);
  }
  void key(zarn_ui::Key k, zarn_ui::Modifiers mods = {}) {
    send(zarn_ui::KeyEvent{k, zarn_ui::KeyState::Pressed, mods, false});
  }
  void type(std::string text) { send(zarn_ui::TextEvent{std::move(text)}); }
  void press(zarn_ui::Point p) {
    send(zarn_ui::ButtonEvent{zarn_ui::MouseButton::Left, zarn_ui::ButtonState::Pressed, p, 1, {}});
  }
  void release(zarn_ui::Point p) {
    send(
        zarn_ui::ButtonEvent{zarn_ui::MouseButton::Left, zarn_ui::ButtonState::Released, p, 1, {}});
  }
  void move(zarn_ui::Point p) { send(zarn_ui::PointerMoveEvent{p, {}}); }

  // One full frame at width x 800, so the views register their regions.
  void draw(double width = 1280) {
    if (surface) cairo_surface_destroy(surface);
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), 800);
    cairo_t* cr = cairo_create(surface);
    {
      zarn_ui::FrameCtx ctx(host);
      app.sync(ctx);
      app.apply_layout({0, 0, width, 800}, ctx);
      zarn_ui::Painter painter(cr, 1, text);
      app.draw_with_presence(painter, ctx, presence);
    }
    cairo_destroy(cr);
  }

  const views::HitRegion* region(views::ControlKind kind, std::string_view a = {}) const {
    for (const auto& r : app.regions()) {
      if (r.id.kind == kind && (a.empty() || r.id.a == a)) return &r;
    }
    return nullptr;
  }
  const document::Channel* channel(std::string_view id) const {
    for (const auto& c : app.model().channels) {
      if (c.id == id) return &c;
    }
    return nullptr;
  }
  std::string last_action() const {
    return host.dispatched.empty() ? std::string() : host.dispatched.back().json;
  }

  crdt::Document doc;
  zarn_actions::ActionRegistry registry;
  zarn_ui::BasicHost host;
  zarn_ui::PresenceCtx presence;
  zarn_ui::TextRenderer text;
  cairo_surface_t* surface = nullptr;
  ChatApp app;
};

}  // namespace chat::app
