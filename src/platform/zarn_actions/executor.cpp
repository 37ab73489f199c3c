#include "platform/zarn_actions/executor.h"

#include <algorithm>

namespace zarn_actions {

std::variant<std::unique_ptr<TypedAction>, ActionError> decode_with(const ActionRegistry& registry,
                                                                    const EncodedAction& encoded) {
  const Decoder* decoder = registry.find(encoded.type_name);
  if (decoder == nullptr || !*decoder) {
    return ActionError{ActionErrorKind::UnknownType, encoded.type_name, {}};
  }
  auto decoded = (*decoder)(encoded.json);
  if (!decoded.has_value()) {
    return ActionError{ActionErrorKind::Decode, encoded.type_name, decoded.error()};
  }
  if (!decoded.value()) {
    return ActionError{ActionErrorKind::Decode, encoded.type_name, "decoder returned nothing"};
  }
  return std::move(decoded).value();
}

namespace executor {
namespace {

DispatchResult run(const ActionRegistry& registry, crdt::Document& doc, const TypedAction& action,
                   const EncodedAction& encoded, LocalTransport& transport,
                   std::span<const std::uint8_t> actor, const ActionContext* context) {
  const crdt::Bytes own = doc.actor_bytes();
  if (actor.size() != own.size() || !std::equal(actor.begin(), actor.end(), own.begin())) {
    return ActionError{ActionErrorKind::InvalidActor, encoded.type_name,
                       "actor id bytes do not name the document's actor"};
  }
  // Checked before anything is written: a payload peers cannot read must not change the
  // document.
  auto decoded = decode_with(registry, encoded);
  if (auto* err = std::get_if<ActionError>(&decoded)) return std::move(*err);

  if (doc.pending_ops() > 0) doc.commit();
  const auto before = doc.heads();

  action.apply(doc);
  if (doc.pending_ops() == 0) return Dispatched{};

  const std::string context_json = context ? context->to_json_text() : std::string();
  const auto change = doc.commit(context ? context_json : encoded.type_name);
  Replication entry{encoded, own, doc.heads(), doc.changes_since(before), context_json};
  auto sent = transport.replicate(std::move(entry));
  if (!sent.has_value()) {
    return ActionError{ActionErrorKind::Replicate, encoded.type_name, sent.error()};
  }
  return Dispatched{change};
}

}  // namespace

DispatchResult dispatch_by(const ActionRegistry& registry, crdt::Document& doc,
                           const TypedAction& action, const EncodedAction& encoded,
                           LocalTransport& transport, std::span<const std::uint8_t> actor) {
  return run(registry, doc, action, encoded, transport, actor, nullptr);
}

DispatchResult dispatch_by_with_context(const ActionRegistry& registry, crdt::Document& doc,
                                        const TypedAction& action, const EncodedAction& encoded,
                                        LocalTransport& transport,
                                        std::span<const std::uint8_t> actor,
                                        const ActionContext& context) {
  return run(registry, doc, action, encoded, transport, actor, &context);
}

}  // namespace executor
}  // namespace zarn_actions
