// Resources and the actions offered on them, built by the application on demand for the action
// host. A resource is an address, a kind, a label, children and actions; builders return the
// grown value so a tree reads as one expression. Values only; any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/base/result.h"
#include "platform/zarn_actions/action_registry.h"

namespace zarn_actions {

// The text arguments a person or automation supplied when invoking an action.
class ActionArgs {
 public:
  ActionArgs() = default;
  explicit ActionArgs(std::map<std::string, std::string, std::less<>> values)
      : values_(std::move(values)) {}
  ActionArgs& set(std::string name, std::string value);
  // The named argument; an absent one reads as the empty string.
  std::string text(std::string_view name = kValue) const;
  bool has(std::string_view name) const;

  static constexpr std::string_view kValue = "value";

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

// The single text parameter an action may take; its name is always "value".
struct TextParameter {
  std::string label;
  std::string placeholder;
  bool operator==(const TextParameter&) const = default;
};

using ActionEncoder = std::function<zarn::Result<EncodedAction>(const ActionArgs&)>;

struct ActionSpec {
  std::string id;
  std::string label;
  std::optional<TextParameter> parameter;
  // A ready payload, or an encoder run with the arguments when the action is invoked.
  std::variant<EncodedAction, ActionEncoder> payload;
  // Set for operations: how the host must deliver the payload.
  std::optional<OperationType> operation_type;
  bool is_destructive = false;

  static ActionSpec with_encoded(std::string id, std::string label, EncodedAction action);
  static ActionSpec operation(std::string id, std::string label, EncodedAction action,
                              OperationType type);
  static ActionSpec with_encoder(std::string id, std::string label, TextParameter parameter,
                                 ActionEncoder encoder);
  ActionSpec destructive() &&;
  ActionSpec& mark_destructive();

  // The payload for these arguments: the ready one, or the encoder's answer.
  zarn::Result<EncodedAction> encode(const ActionArgs& args) const;
};

struct Resource {
  std::string address;
  std::string kind;
  std::string label;
  std::vector<Resource> children;
  std::vector<ActionSpec> actions;

  Resource with_child(Resource child) &&;
  Resource with_action(ActionSpec action) &&;
  const ActionSpec* find_action(std::string_view id) const;
  // Visits this resource and every descendant, depth first, parents before children.
  void for_each(const std::function<void(Resource&)>& visit);
  void for_each(const std::function<void(const Resource&)>& visit) const;
};

namespace resource {

// Marks an encoded operation so the host delivers it only as an operation of `type`; a host
// that would deliver it otherwise must refuse. Returns the marked action.
EncodedAction enforce_operation_type(EncodedAction action, OperationType type);

}  // namespace resource

}  // namespace zarn_actions
