// Why a dispatch failed, as a value. The display text names the action kind and carries the
// decoder's message unchanged, so a log line says what was wrong with which payload.
// Values only; any thread.
#pragma once

#include <string>

namespace zarn_actions {

enum class ActionErrorKind {
  UnknownType,   // no decoder is registered under the type name
  Decode,        // the registered decoder refused the JSON bytes
  InvalidActor,  // the actor id bytes are not a 16-byte actor
  Replicate,     // the transport refused the committed change
};

struct ActionError {
  ActionErrorKind kind = ActionErrorKind::Decode;
  std::string type_name;
  std::string message;

  std::string display_text() const;
  bool operator==(const ActionError&) const = default;
};

}  // namespace zarn_actions
