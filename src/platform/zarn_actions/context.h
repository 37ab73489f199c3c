// The dispatch context an application reports with an action: who dispatched it, what it is
// called and which resource it targets. It travels as the message of the committed change, so
// the document's history says which action made each change. Values only; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zarn_actions {

// The person on whose behalf an action runs.
struct ActorIdentity {
  std::string id;
  std::string display_name;
  bool operator==(const ActorIdentity&) const = default;
};

// The resource an action acts on, as the host shows it.
struct ActionTarget {
  std::string address;  // "<kind>:<id>"
  std::string display_name;
  bool operator==(const ActionTarget&) const = default;
};

struct ActionContext {
  std::string app_id;    // reverse-domain id of the application that dispatches
  std::string app_name;  // shown to people
  std::string action_name;
  std::string label;
  std::optional<ActionTarget> target;
  std::optional<ActorIdentity> actor;

  // The same context, carried out on behalf of `identity`.
  ActionContext enriched_by(const ActorIdentity& identity) const;
  // Compact JSON of every field, in declaration order; absent fields are null.
  std::string to_json_text() const;
  bool operator==(const ActionContext&) const = default;
};

namespace context {

// Words for a code identifier: "SendMessage", "send_message", "send-message" and "sendMessage"
// all give "Send message". An all-capitals run stays as written ("HTTPServer" gives "HTTP
// server"); digits stay with the word before them. Empty input gives the empty string.
std::string humanize_identifier(std::string_view identifier);

}  // namespace context

}  // namespace zarn_actions
