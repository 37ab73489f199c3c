// ChatAction as the action framework sees it: debug text, apply to the document, no operation.
// The decoder registered under "chat.action" turns JSON bytes into one of these. UI thread for
// apply; decoding is pure.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "actions/chat_action.h"
#include "platform/base/result.h"
#include "platform/zarn_actions/action_registry.h"

namespace chat::actions {

class ChatTypedAction final : public zarn_actions::TypedAction {
 public:
  explicit ChatTypedAction(ChatAction action) : action_(std::move(action)) {}
  const ChatAction& action() const { return action_; }

  // The variant name and its compact JSON.
  std::string debug_text() const override;
  void apply(crdt::Document& doc) const override;

 private:
  ChatAction action_;
};

zarn::Result<std::unique_ptr<zarn_actions::TypedAction>> decode_typed_chat_action(
    std::string_view json);

// Inserts the decoder under "chat.action", replacing any earlier one.
void register_chat_action(zarn_actions::ActionRegistry& registry);

}  // namespace chat::actions
