#include "platform/zarn_actions/action_error.h"

namespace zarn_actions {

std::string ActionError::display_text() const {
  switch (kind) {
    case ActionErrorKind::UnknownType:
      return "no decoder registered for action type \"" + type_name + "\"";
    case ActionErrorKind::Decode:
      return "could not decode \"" + type_name + "\" action: " + message;
    case ActionErrorKind::InvalidActor:
      return "invalid actor for \"" + type_name + "\" action: " + message;
    case ActionErrorKind::Replicate:
      return "could not replicate \"" + type_name + "\" action: " + message;
  }
  return message;
}

}  // namespace zarn_actions
