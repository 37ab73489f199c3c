// Strict JSON for values that arrive from peers and files: a reader that rejects duplicate
// keys and absurd nesting, typed member getters whose errors name the offending field, and a
// compact writer that refuses invalid UTF-8 instead of throwing. No exceptions escape. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/base/result.h"

namespace chat::document {

using Json = nlohmann::ordered_json;

inline constexpr std::size_t kMaxJsonDepth = 128;

// Parses one JSON text; malformed input, a key repeated within one object and nesting deeper
// than kMaxJsonDepth give an error.
zarn::Result<Json> parse_strict_json(std::string_view text);

// Compact text; an error when some string (key or value) is not valid UTF-8.
zarn::Result<std::string> to_compact_text(const Json& value);

// "<context>: <what>"; contexts read like "AgentWork.trace[1].outcome".
zarn::Error json_error(std::string_view context, std::string_view what);

// Typed views of one value.
zarn::Result<std::string> json_string(const Json& value, std::string_view context);
zarn::Result<std::int64_t> json_int64(const Json& value, std::string_view context);
zarn::Result<std::uint64_t> json_uint64(const Json& value, std::string_view context);
zarn::Result<std::uint32_t> json_uint32(const Json& value, std::string_view context);
zarn::Result<bool> json_bool(const Json& value, std::string_view context);
// An error unless the value is an object.
zarn::Result<void> json_expect_object(const Json& value, std::string_view context);

// Members of an object (the caller has checked it is one); nullptr when absent.
const Json* json_member(const Json& object, std::string_view key);
// A required member: an error naming `context.key` when absent.
zarn::Result<const Json*> json_require(const Json& object, std::string_view key,
                                       std::string_view context);

zarn::Result<std::string> json_string_member(const Json& object, std::string_view key,
                                             std::string_view context);
zarn::Result<std::int64_t> json_int64_member(const Json& object, std::string_view key,
                                             std::string_view context);
zarn::Result<std::uint64_t> json_uint64_member(const Json& object, std::string_view key,
                                               std::string_view context);
zarn::Result<std::uint32_t> json_uint32_member(const Json& object, std::string_view key,
                                               std::string_view context);
zarn::Result<bool> json_bool_member(const Json& object, std::string_view key,
                                    std::string_view context);

// Joins a context and a member name: "AgentWork" + "trace" -> "AgentWork.trace".
std::string json_path(std::string_view context, std::string_view key);

}  // namespace chat::document
