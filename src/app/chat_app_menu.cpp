// Context menus of ChatApp: which menu a right press opens, the items of each, and carrying out
// the chosen item as chat actions or view changes.
#include <array>
#include <variant>

#include "app/chat_app.h"
#include "document/ids.h"
#include "platform/base/overloaded.h"
#include "views/people.h"

namespace chat::app {

namespace {

using K = views::ControlKind;

enum MenuCode : std::uint32_t {
  kRename = 0,
  kDelete = 1,
  kMoveUp = 2,
  kMoveDown = 3,
  kNewTextChannel = 4,
  kNewVoiceChannel = 5,
  kNewCategory = 6,
  kCollapseExpand = 7,
  kArchive = 8,
  kEditMessage = 9,
  kPin = 10,
  kDeleteMessage = 11,
};

struct ItemLook {
  const char* label;
  bool destructive;
  std::uint16_t icon;
};

constexpr std::array<ItemLook, 12> kItems{{
    {"Rename", false, 49},
    {"Delete", true, 78},
    {"Move up", false, 15},
    {"Move down", false, 16},
    {"New text channel", false, 18},
    {"New voice channel", false, 18},
    {"New category", false, 18},
    {"Collapse / expand", false, 16},
    {"Archive / unarchive", false, 36},
    {"Edit message", false, 49},
    {"Pin / unpin", false, 55},
    {"Delete message", true, 78},
}};

constexpr double kMenuRowHeight = 44;
constexpr double kMenuWidth = 220;

}  // namespace

void ChatApp::open_context_menu(const views::ControlId* region, zarn_ui::Point at) {
  using Kind = MenuTarget::Kind;
  MenuTarget target{Kind::Workspace, state_.selection.selected_workspace};
  std::vector<std::uint32_t> codes{kNewCategory};
  if (region != nullptr) {
    switch (region->kind) {
      case K::Channel:
      case K::VoiceChannel:
        target = {Kind::Channel, region->a};
        codes = {kDelete, kArchive, kRename, kMoveUp, kMoveDown};
        break;
      case K::CategoryToggle:
      case K::AddChannel:
        target = {Kind::Category, region->kind == K::AddChannel ? region->b : region->a};
        codes = {kNewTextChannel, kNewVoiceChannel, kRename, kCollapseExpand, kDelete};
        break;
      case K::MessageMenu:
        target = {Kind::Message, region->a};
        codes = {kEditMessage, kPin, kDeleteMessage};
        break;
      default:
        break;
    }
  }
  menu_.clear();
  menu_.set_row_height(kMenuRowHeight);
  menu_.set_width(kMenuWidth);
  for (const std::uint32_t code : codes) {
    const ItemLook& look = kItems[code];
    zarn_ui::MenuItem item;
    item.id = code;
    item.label = look.label;
    item.icon = look.icon;
    item.destructive = look.destructive;
    menu_.push(std::move(item));
  }
  menu_target_ = std::move(target);
  menu_.open_at_clamped(at, state_.layout.bounds);
}

bool ChatApp::route_to_menu(const zarn_ui::Event& event, zarn_ui::EventCtx& ctx) {
  if (!menu_.is_open()) return false;
  const MenuTarget target = menu_target_;
  const zarn_ui::MenuEventResult result = menu_.handle_event(event, ctx);
  if (result.handled) ctx.request_redraw();
  if (result.chosen) choose_menu_item(target, result.chosen->id, ctx);
  // Pointer moves and right presses go on to the controls (a right press may open another
  // menu); everything else stops here.
  const bool passes = std::visit(
      zarn::Overloaded{
          [](const zarn_ui::PointerMoveEvent&) { return true; },
          [](const zarn_ui::PointerLeaveEvent&) { return true; },
          [](const zarn_ui::ButtonEvent& b) { return b.button != zarn_ui::MouseButton::Left; },
          [](const auto&) { return false; },
      },
      event);
  if (passes && !result.handled) return false;
  ctx.set_handled();
  return true;
}

void ChatApp::choose_menu_item(const MenuTarget& target, std::uint32_t code,
                               zarn_ui::FrameCtx& ctx) {
  if (!state_.can_write()) {
    menu_.close();
    return;
  }
  carry_out_menu_item(target, code, ctx);
  refresh(ctx);
}

void ChatApp::swipe_delete(const std::string& channel, zarn_ui::FrameCtx& ctx) {
  choose_menu_item({MenuTarget::Kind::Channel, channel}, kDelete, ctx);
}

void ChatApp::carry_out_menu_item(const MenuTarget& target, std::uint32_t code,
                                  zarn_ui::FrameCtx& ctx) {
  using Kind = MenuTarget::Kind;
  auto& sel = state_.selection;
  switch (target.kind) {
    case Kind::Channel: {
      const document::Channel* ch = views::find_channel(model_, target.id);
      if (ch == nullptr) return;
      // Copies: the dispatches below replace the model the channel lives in.
      const std::string id = ch->id;
      const std::string name = ch->name;
      const bool archived = ch->archived;
      switch (code) {
        case kRename:
          start_rename({views::RenameTarget::Kind::Channel, id}, name);
          break;
        case kDelete:
          if (sel.current_channel == id) sel.current_channel.clear();
          dispatch(actions::DeleteChannel{id}, ctx);
          break;
        case kMoveUp:
        case kMoveDown:
          dispatch(actions::ReorderChannel{id, code == kMoveUp}, ctx);
          break;
        case kArchive:
          if (!archived && sel.current_channel == id) sel.current_channel.clear();
          dispatch(actions::ArchiveChannel{id, !archived}, ctx);
          break;
        default:
          break;
      }
      break;
    }
    case Kind::Category: {
      std::string name;
      bool collapsed = false;
      bool found = false;
      for (const auto& cat : model_.categories) {
        if (cat.id != target.id) continue;
        name = cat.name;
        collapsed = cat.collapsed;
        found = true;
      }
      switch (code) {
        case kRename:
          start_rename({views::RenameTarget::Kind::Category, target.id}, found ? name : "");
          break;
        case kDelete:
          dispatch(actions::DeleteCategory{target.id}, ctx);
          break;
        case kNewTextChannel:
        case kNewVoiceChannel: {
          const bool voice = code == kNewVoiceChannel;
          std::string channel = document::mint_id("c_");
          const std::string channel_name = voice ? "New Voice" : "new-channel";
          dispatch(actions::CreateChannel{sel.selected_workspace, target.id, channel,
                                          channel_name,
                                          voice ? document::ChannelKind::Voice
                                                : document::ChannelKind::Text},
                   ctx);
          start_rename({views::RenameTarget::Kind::Channel, std::move(channel)}, channel_name);
          break;
        }
        case kCollapseExpand:
          if (found) dispatch(actions::SetCategoryCollapsed{target.id, !collapsed}, ctx);
          break;
        default:
          break;
      }
      break;
    }
    case Kind::Message: {
      const document::Message* msg = views::find_message(model_, target.id);
      if (msg == nullptr) return;
      const std::string id = msg->id;
      const bool pinned = msg->pinned;
      switch (code) {
        case kEditMessage:
          start_edit(id);
          break;
        case kPin:
          dispatch(actions::PinMessage{sel.current_channel, id, !pinned}, ctx);
          break;
        case kDeleteMessage:
          dispatch(actions::DeleteMessage{sel.current_channel, id}, ctx);
          break;
        default:
          break;
      }
      break;
    }
    case Kind::Workspace: {
      if (code != kNewCategory || target.id.empty()) return;
      std::string category = document::mint_id("cat_");
      dispatch(actions::CreateCategory{target.id, category, "New Category"}, ctx);
      start_rename({views::RenameTarget::Kind::Category, std::move(category)}, "New Category");
      break;
    }
  }
}

}  // namespace chat::app
