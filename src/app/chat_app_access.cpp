// The accessibility side of ChatApp: the tree, synthetic focus over the focusable controls and
// the semantic actions automation performs on them.
#include "app/chat_app.h"
#include "views/people.h"

namespace chat::app {

namespace {

using K = views::ControlKind;
using zarn_ui::AccessNode;
using zarn_ui::AccessRole;

constexpr std::string_view kMenuItemPrefix = "context-menu:item:";

}  // namespace

std::vector<views::FocusableControl> ChatApp::focusable() const {
  return views::focusable_controls(regions_, state_, model_);
}

AccessNode ChatApp::accessibility() const {
  AccessNode root;
  root.id = "chat";
  root.label = "Chat";
  root.description = state_.inbox_mode ? "Inbox: conversations across Zarn workspaces"
                                       : "Channels in the current Zarn workspace";
  root.role = AccessRole::Window;
  root.rect = state_.layout.bounds;

  auto controls = focusable();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    controls[i].node.focused = state_.focus_index == i;
    root.children.push_back(std::move(controls[i].node));
  }

  AccessNode list;
  list.id = "message-list";
  list.label = "Messages";
  list.role = AccessRole::List;
  for (const auto& msg : model_.messages) {
    if (msg.parent) continue;
    const document::Person* author = views::find_person(model_, msg.author);
    const std::string name =
        author && !author->name.empty() ? author->name : std::string("Unknown person");
    AccessNode node;
    node.id = "message:" + msg.id;
    node.label = name + ": " + msg.text;
    node.role = AccessRole::ListItem;
    node.tag = "message";
    list.children.push_back(std::move(node));
  }
  root.children.push_back(std::move(list));

  for (const auto& ch : model_.channels) {
    if (ch.id != state_.selection.current_channel) continue;
    AccessNode heading;
    heading.id = "conversation-heading";
    heading.label = views::channel_prefix(ch.voice) + " " + ch.name;
    heading.description = ch.topic;
    heading.role = AccessRole::Heading;
    heading.rect = state_.layout.panes.heading;
    root.children.push_back(std::move(heading));
    break;
  }
  if (menu_.is_open()) root.children.push_back(menu_.accessibility());
  return root;
}

std::optional<zarn_ui::Rect> ChatApp::synthetic_accessibility_rect(std::size_t index) const {
  const auto controls = focusable();
  if (index >= controls.size()) return std::nullopt;
  return controls[index].node.rect;
}

bool ChatApp::focus_synthetic_accessibility(std::size_t index) {
  const auto controls = focusable();
  if (index >= controls.size()) return false;
  state_.focus_index = index;
  note_focused_control(controls[index].region.id.kind);
  return true;
}

bool ChatApp::perform_semantic_action(std::string_view id, const zarn_ui::SemanticAction& action) {
  if (id.starts_with(kMenuItemPrefix)) {
    if (!menu_.is_open()) return false;
    const MenuTarget target = menu_target_;
    // Carrying the item out needs the lent document: it runs at the next sync.
    if (auto choice = menu_.perform_semantic_action(id, action)) {
      pending_menu_choice_ = {target, choice->id};
    }
    return true;
  }

  const auto controls = focusable();
  const views::FocusableControl* target = nullptr;
  for (const auto& c : controls) {
    if (c.node.id == id) {
      target = &c;
      break;
    }
  }
  if (target == nullptr) return false;
  const views::ControlId control = target->region.id;

  using Kind = zarn_ui::SemanticActionKind;
  if (action.kind == Kind::Activate) {
    // Activation needs the host's document and dispatch, which only a frame lends.
    pending_activations_.push_back(control);
    return true;
  }
  zarn_ui::TextInput* input = text_input_for(control.kind);
  if (input == nullptr) return false;
  if (action.kind == Kind::Focus) {
    note_focused_control(control.kind);
    return true;
  }
  const bool composer = control.kind == K::FocusMain || control.kind == K::FocusThread;
  if (composer && !state_.can_write()) return false;
  if (!input->perform_action(action)) return false;
  if (composer) {
    composer_edits_pending_ = true;
  } else {
    (void)input->take_dirty();
  }
  return true;
}

}  // namespace chat::app
