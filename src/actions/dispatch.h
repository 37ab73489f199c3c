// Dispatching a chat action the application made itself: build the dispatch context (name,
// label, target, local identity), encode under "chat.action", run the framework dispatch that
// applies, commits and replicates. A failure is logged as "action dispatch failed" with the
// error and the action; the caller goes on. UI thread (the document's owner).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "actions/chat_action.h"
#include "platform/crdt/document.h"
#include "platform/zarn_actions/action_registry.h"
#include "platform/zarn_actions/context.h"
#include "platform/zarn_actions/executor.h"
#include "platform/zarn_actions/local_transport.h"

namespace chat::actions {

// Names this application in dispatch contexts; distinct from the launch id.
inline constexpr std::string_view kActionContextAppId = "dev.zarn.chat.actions";
inline constexpr std::string_view kActionContextAppName = "Chat";

// What the application keeps for dispatching: the registry with "chat.action" registered, the
// transport, the local identity when there is one, and where warnings go.
struct DispatchState {
  DispatchState();
  zarn_actions::ActionRegistry registry;
  zarn_actions::LocalTransport transport;
  std::optional<zarn_actions::ActorIdentity> identity;
  std::function<void(std::string_view line)> warn;  // one line, no newline; stderr by default
};

// The action's name for reports: its variant name in words, "Update" when the JSON form is not
// an object with exactly one member.
std::string action_name(const ChatAction& action);

// Label and target of the action as shown to people and the host.
zarn_actions::ActionContext dispatch_context(
    const ChatAction& action, const std::optional<zarn_actions::ActorIdentity>& identity);

zarn_actions::DispatchResult dispatch_chat_action(DispatchState& state, crdt::Document& doc,
                                                  const ChatAction& action);

}  // namespace chat::actions
