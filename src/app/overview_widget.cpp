#include "app/overview_widget.h"

#include <algorithm>

#include "document/entities.h"
#include "document/messages.h"
#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/text_renderer.h"

namespace chat::app {

OverviewWidget::OverviewWidget(Mode mode, LocalIdentity identity)
    : identity_(std::move(identity)) {
  upkeep_.interactive = mode == Mode::Interactive;
}

void OverviewWidget::sync(zarn_ui::FrameCtx& ctx) {
  crdt::Document* doc = ctx.document();
  if (!doc) return;
  document::run_upkeep(*doc, upkeep_,
                       {identity_.id, identity_.name, identity_.initials,
                        static_cast<std::int64_t>(identity_.color_idx)});
  doc->commit();

  auto workspaces = document::read_workspaces(*doc);
  std::stable_sort(workspaces.begin(), workspaces.end(),
                   [](const auto& a, const auto& b) { return a.order < b.order; });
  auto channels = document::read_channels(*doc);
  std::stable_sort(channels.begin(), channels.end(),
                   [](const auto& a, const auto& b) { return a.order < b.order; });

  workspaces_.clear();
  for (const auto& ws : workspaces) {
    WorkspaceBlock block{ws.id, ws.glyph + "  " + ws.name, {}};
    for (const auto& ch : channels) {
      if (ch.workspace != ws.id || ch.archived) continue;
      const bool voice = ch.kind == document::ChannelKind::Voice;
      block.channels.push_back({ch.id, (voice ? "🔊 " : "# ") + ch.name,
                                voice ? 0 : document::read_messages(*doc, ch.id).size()});
    }
    workspaces_.push_back(std::move(block));
  }
}

void OverviewWidget::draw(zarn_ui::Painter& painter, zarn_ui::FrameCtx& ctx) {
  const auto& theme = ctx.theme();
  const zarn_ui::Rect area = bounds();
  painter.fill_rect(area, theme.surface_base);
  nodes_.clear();

  const zarn_ui::TextStyle title{22, zarn_ui::FontWeight::Bold, theme.text_strong};
  const zarn_ui::TextStyle heading{16, zarn_ui::FontWeight::Semibold, theme.text_strong};
  const zarn_ui::TextStyle row{14, zarn_ui::FontWeight::Regular, theme.text_strong};
  const zarn_ui::TextStyle muted{13, zarn_ui::FontWeight::Regular, theme.text_muted};

  double y = area.y0 + 28;
  const double x = area.x0 + 32;
  painter.draw_text("zarn-chat", {x, y}, title);
  y += 36;
  if (!identity_.name.empty()) {
    painter.draw_text("Signed in as " + identity_.name, {x, y}, muted);
  }
  y += 36;

  const double card_width = std::min(area.width() - 64, 520.0);
  for (const auto& ws : workspaces_) {
    const double height = 48 + 26.0 * static_cast<double>(ws.channels.size());
    const auto card = zarn_ui::Rect::from_xywh(x, y, card_width, height);
    painter.fill_rounded_rect(card, 12, theme.surface_raised);
    painter.draw_text(ws.title, {x + 16, y + 14}, heading);
    zarn_ui::AccessNode ws_node{.id = "workspace:" + ws.id,
                                .label = ws.title,
                                .role = zarn_ui::AccessRole::List,
                                .rect = card};
    double cy = y + 44;
    for (const auto& ch : ws.channels) {
      painter.draw_text(ch.label, {x + 24, cy}, row);
      if (ch.messages > 0) {
        const std::string count =
            std::to_string(ch.messages) + (ch.messages == 1 ? " message" : " messages");
        const auto size = painter.text().measure(count, muted);
        painter.draw_text(count, {card.x1 - 16 - size.width, cy + 1}, muted);
      }
      ws_node.children.push_back({.id = "channel:" + ch.id,
                                  .label = ch.label,
                                  .role = zarn_ui::AccessRole::ListItem,
                                  .rect = zarn_ui::Rect::from_xywh(x, cy, card_width, 26)});
      cy += 26;
    }
    nodes_.push_back(std::move(ws_node));
    y += height + 16;
    if (y > area.y1) break;
  }
}

zarn_ui::AccessNode OverviewWidget::accessibility() const {
  return {.id = "overview",
          .label = "zarn-chat",
          .role = zarn_ui::AccessRole::Window,
          .rect = bounds(),
          .children = nodes_};
}

}  // namespace chat::app
