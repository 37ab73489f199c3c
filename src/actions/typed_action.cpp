#include "actions/typed_action.h"

#include "actions/action_json.h"
#include "actions/apply.h"

namespace chat::actions {

std::string ChatTypedAction::debug_text() const {
  return std::string(variant_name(action_)) + " " + to_json_text(action_);
}

void ChatTypedAction::apply(crdt::Document& doc) const {
  chat::actions::apply(doc, action_);
}

zarn::Result<std::unique_ptr<zarn_actions::TypedAction>> decode_typed_chat_action(
    std::string_view json) {
  auto action = decode_chat_action(json);
  if (!action) return std::move(action).take_error();
  return std::unique_ptr<zarn_actions::TypedAction>(
      std::make_unique<ChatTypedAction>(std::move(action).value()));
}

void register_chat_action(zarn_actions::ActionRegistry& registry) {
  registry.insert(std::string(kChatActionType), decode_typed_chat_action);
}

}  // namespace chat::actions
