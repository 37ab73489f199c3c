#include "platform/zarn_actions/action_address.h"

namespace zarn_actions {

std::string ActionAddress::encode() const {
  return resource + "#" + action;
}

std::optional<ActionAddress> ActionAddress::decode(std::string_view text) {
  const auto hash = text.rfind('#');
  if (hash == std::string_view::npos || hash == 0 || hash + 1 == text.size()) return std::nullopt;
  return ActionAddress{std::string(text.substr(0, hash)), std::string(text.substr(hash + 1))};
}

}  // namespace zarn_actions
