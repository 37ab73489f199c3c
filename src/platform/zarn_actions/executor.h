// Dispatch: check that the encoded action decodes through the registry (so every peer can read
// it), apply the typed action to the document, seal what it wrote as exactly one change, and
// hand that change to the transport. An action that writes nothing commits nothing.
// UI thread (the document's owner).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <variant>

#include "platform/crdt/document.h"
#include "platform/zarn_actions/action_error.h"
#include "platform/zarn_actions/action_registry.h"
#include "platform/zarn_actions/context.h"
#include "platform/zarn_actions/local_transport.h"

namespace zarn_actions {

// A successful dispatch: the change it committed, none when the action changed nothing.
struct Dispatched {
  std::optional<crdt::ChangeHash> change;
};

class [[nodiscard]] DispatchResult {
 public:
  DispatchResult(Dispatched ok) : v_(std::move(ok)) {}
  DispatchResult(ActionError error) : v_(std::move(error)) {}
  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  const Dispatched& value() const { return std::get<0>(v_); }
  const ActionError& error() const { return std::get<1>(v_); }

 private:
  std::variant<Dispatched, ActionError> v_;
};

// The typed action the registry decodes from `encoded`, or why it cannot.
std::variant<std::unique_ptr<TypedAction>, ActionError> decode_with(const ActionRegistry& registry,
                                                                    const EncodedAction& encoded);

namespace executor {

// `actor` must be the document's own actor id bytes. Operations pending in the document before
// the dispatch are committed first as a change of their own, so the action's change holds only
// what the action wrote.
DispatchResult dispatch_by(const ActionRegistry& registry, crdt::Document& doc,
                           const TypedAction& action, const EncodedAction& encoded,
                           LocalTransport& transport, std::span<const std::uint8_t> actor);

// The same, recording `context` as the change's message and with the replicated entry.
DispatchResult dispatch_by_with_context(const ActionRegistry& registry, crdt::Document& doc,
                                        const TypedAction& action, const EncodedAction& encoded,
                                        LocalTransport& transport,
                                        std::span<const std::uint8_t> actor,
                                        const ActionContext& context);

}  // namespace executor
}  // namespace zarn_actions
