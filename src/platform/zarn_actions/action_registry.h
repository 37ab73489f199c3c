// The action registry: decoders from an action kind's JSON bytes to a typed action, by type name.
// The application registers its kinds once at launch; a repeated insert replaces the decoder.
// UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace crdt {
class Document;
}

namespace zarn_actions {

// How the host delivers an operation: Effect changes something outside the view, View only
// navigates. None is neither.
enum class OperationType : std::uint8_t { None = 0, Effect = 1, View = 2 };

// An action kind's type name plus its JSON bytes.
struct EncodedAction {
  std::string type_name;
  std::string json;
  // Set by resource::enforce_operation_type: the host may deliver it only as this type.
  std::optional<OperationType> required_operation_type{};
  bool operator==(const EncodedAction&) const = default;
};

// A decoded action as the framework sees it. Applying never fails: an action whose target is
// missing changes nothing.
class TypedAction {
 public:
  virtual ~TypedAction() = default;
  virtual std::string debug_text() const = 0;
  virtual void apply(crdt::Document& doc) const = 0;
  // Actions may carry an operation for the host; most answer nothing.
  virtual std::optional<EncodedAction> operation() const { return std::nullopt; }
};

using Decoder = std::function<zarn::Result<std::unique_ptr<TypedAction>>(std::string_view json)>;

class ActionRegistry {
 public:
  void insert(std::string type_name, Decoder decoder) {
    decoders_[std::move(type_name)] = std::move(decoder);
  }
  const Decoder* find(std::string_view type_name) const {
    auto it = decoders_.find(type_name);
    return it == decoders_.end() ? nullptr : &it->second;
  }
  bool contains(std::string_view type_name) const { return find(type_name) != nullptr; }

 private:
  std::map<std::string, Decoder, std::less<>> decoders_;
};

}  // namespace zarn_actions
