// The address of one action on one resource, as carried by search entries and host requests.
// Text form: the resource address, "#", the action id. Action ids never hold "#", so the last
// "#" separates the two even when a resource id contains one. Values only; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zarn_actions {

struct ActionAddress {
  std::string resource;  // "<kind>:<id>" or a single-resource kind
  std::string action;    // the action's id, e.g. "open"

  std::string encode() const;
  // Absent when the text has no "#" or either part is empty.
  static std::optional<ActionAddress> decode(std::string_view text);
  bool operator==(const ActionAddress&) const = default;
};

}  // namespace zarn_actions
