#include "platform/zarn_actions/resource.h"

namespace zarn_actions {

ActionArgs& ActionArgs::set(std::string name, std::string value) {
  values_[std::move(name)] = std::move(value);
  return *this;
}

std::string ActionArgs::text(std::string_view name) const {
  auto it = values_.find(name);
  return it == values_.end() ? std::string() : it->second;
}

bool ActionArgs::has(std::string_view name) const {
  return values_.find(name) != values_.end();
}

ActionSpec ActionSpec::with_encoded(std::string id, std::string label, EncodedAction action) {
  ActionSpec out;
  out.id = std::move(id);
  out.label = std::move(label);
  out.payload = std::move(action);
  return out;
}

ActionSpec ActionSpec::operation(std::string id, std::string label, EncodedAction action,
                                 OperationType type) {
  ActionSpec out = with_encoded(std::move(id), std::move(label), std::move(action));
  out.operation_type = type;
  return out;
}

ActionSpec ActionSpec::with_encoder(std::string id, std::string label, TextParameter parameter,
                                    ActionEncoder encoder) {
  ActionSpec out;
  out.id = std::move(id);
  out.label = std::move(label);
  out.parameter = std::move(parameter);
  out.payload = std::move(encoder);
  return out;
}

ActionSpec ActionSpec::destructive() && {
  is_destructive = true;
  return std::move(*this);
}

ActionSpec& ActionSpec::mark_destructive() {
  is_destructive = true;
  return *this;
}

zarn::Result<EncodedAction> ActionSpec::encode(const ActionArgs& args) const {
  if (const auto* ready = std::get_if<EncodedAction>(&payload)) return *ready;
  const auto& encoder = std::get<ActionEncoder>(payload);
  if (!encoder) return zarn::make_error("action \"" + id + "\" has no encoder");
  return encoder(args);
}

Resource Resource::with_child(Resource child) && {
  children.push_back(std::move(child));
  return std::move(*this);
}

Resource Resource::with_action(ActionSpec action) && {
  actions.push_back(std::move(action));
  return std::move(*this);
}

const ActionSpec* Resource::find_action(std::string_view id) const {
  for (const auto& a : actions) {
    if (a.id == id) return &a;
  }
  return nullptr;
}

void Resource::for_each(const std::function<void(Resource&)>& visit) {
  visit(*this);
  for (auto& c : children) c.for_each(visit);
}

void Resource::for_each(const std::function<void(const Resource&)>& visit) const {
  visit(*this);
  for (const auto& c : children) c.for_each(visit);
}

namespace resource {

EncodedAction enforce_operation_type(EncodedAction action, OperationType type) {
  action.required_operation_type = type;
  return action;
}

}  // namespace resource
}  // namespace zarn_actions
