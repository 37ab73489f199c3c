// JSON form of chat actions, operations and their records. Enumerations with fields are
// externally tagged ({"SendMessage":{...}}), field-less ones are bare strings; writers emit
// fields in declaration order, compact, optional fields as null. Readers accept any order,
// ignore extra keys and reject duplicates, missing required fields, unknown variants, wrong
// types and negative unsigned numbers, with a message naming the field. Any thread.
#pragma once

#include <string>
#include <string_view>

#include "actions/chat_action.h"
#include "document/strict_json.h"
#include "platform/base/result.h"
#include "platform/zarn_actions/action_registry.h"

namespace chat::actions {

using Json = document::Json;

inline constexpr std::string_view kChatActionType = "chat.action";
inline constexpr std::string_view kChatOperationType = "chat.operation";

// The order-preserving object model of a value.
Json to_json_value(const ChatAction& action);
Json to_json_value(const ChatOperation& op);
Json to_json_value(const ResourceRef& ref);

// Compact JSON text. Strings that are not valid UTF-8 are written with U+FFFD in place of the
// bad bytes; any other encoder failure stops the program.
std::string to_json_text(const ChatAction& action);
std::string to_json_text(const ChatOperation& op);
std::string to_json_text(const ResourceRef& ref);

zarn::Result<ChatAction> chat_action_from_json(const Json& value);
zarn::Result<ChatOperation> chat_operation_from_json(const Json& value);
zarn::Result<ResourceRef> resource_ref_from_json(const Json& value);

// Strict parse of the text, then the reader above.
zarn::Result<ChatAction> decode_chat_action(std::string_view text);
zarn::Result<ChatOperation> decode_chat_operation(std::string_view text);
zarn::Result<ResourceRef> decode_resource_ref(std::string_view text);

// Wrapped for the action framework under "chat.action" / "chat.operation".
zarn_actions::EncodedAction encode_chat_action(const ChatAction& action);
zarn_actions::EncodedAction encode_chat_operation(const ChatOperation& op);

}  // namespace chat::actions
