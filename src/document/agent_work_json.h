// JSON form of agent work records: compact objects with fields in declaration order, both
// tagged enumerations tagged internally ("state", "outcome"), empty optional parts left out.
// Readers are strict: duplicate keys, missing required fields, unknown tags and wrong value
// types are rejected as a whole; unknown keys are ignored. Any thread.
#pragma once

#include <string>
#include <string_view>

#include "document/agent_work.h"
#include "document/strict_json.h"
#include "platform/base/result.h"

namespace chat::document {

Json to_json(const AgentWorkState& state);
Json to_json(AgentRoute route);
Json to_json(const AgentReasoning& reasoning);
Json to_json(const AgentStepOutcome& outcome);
Json to_json(const AgentStep& step);
Json to_json(const AgentWork& work);
Json to_json(const StoredAgentTransition& transition);

// Reads one record from a JSON value. `context` prefixes error texts; empty means the type name.
template <typename T>
zarn::Result<T> from_json(const Json& value, std::string_view context = {});

template <>
zarn::Result<AgentWorkState> from_json<AgentWorkState>(const Json& value, std::string_view context);
template <>
zarn::Result<AgentRoute> from_json<AgentRoute>(const Json& value, std::string_view context);
template <>
zarn::Result<AgentReasoning> from_json<AgentReasoning>(const Json& value, std::string_view context);
template <>
zarn::Result<AgentStepOutcome> from_json<AgentStepOutcome>(const Json& value,
                                                           std::string_view context);
template <>
zarn::Result<AgentStep> from_json<AgentStep>(const Json& value, std::string_view context);
template <>
zarn::Result<AgentWork> from_json<AgentWork>(const Json& value, std::string_view context);
template <>
zarn::Result<StoredAgentTransition> from_json<StoredAgentTransition>(const Json& value,
                                                                     std::string_view context);

// Compact JSON text of a record; fails only when a string is not valid UTF-8.
template <typename T>
zarn::Result<std::string> to_json_text(const T& value) {
  return to_compact_text(to_json(value));
}

// Parses (strictly) and reads one record from JSON text.
template <typename T>
zarn::Result<T> from_json_text(std::string_view text) {
  auto parsed = parse_strict_json(text);
  if (!parsed) return std::move(parsed).take_error();
  return from_json<T>(*parsed);
}

}  // namespace chat::document
