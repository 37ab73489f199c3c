// The chat vocabulary: the 22 document changes (`ChatAction`), the 6 navigation and effect
// requests (`ChatOperation`) and the records they carry. Variant order is part of the format:
// the index of a variant is its position in the std::variant, and each variant knows its JSON
// name. Values only; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "document/agent_work.h"
#include "document/records.h"

namespace chat::actions {

// Shared with the document's message records, so a sent message is written without conversion.
using document::Attachment;
using document::ChannelKind;
using document::FileAttachment;
using document::ImageAttachment;
using document::Mention;
using document::VideoAttachment;

enum class SpanUnit { Chars, Bytes };

struct Span {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  SpanUnit unit = SpanUnit::Chars;
  bool operator==(const Span&) const = default;
};

// A resource a message refers to, and the part of its text that shows the reference.
struct ResourceRef {
  std::string kind;
  std::string id;
  std::string label;
  std::optional<Span> span;
  bool operator==(const ResourceRef&) const = default;
};

// ---- ChatAction variants, in declaration order.

struct SendMessage {
  static constexpr std::string_view kName = "SendMessage";
  std::string channel;
  std::string id;
  std::string author;
  std::int64_t ts = 0;
  std::string text;
  std::optional<std::string> parent;  // the thread root for a thread reply
  std::optional<Attachment> attachment;
  std::vector<Mention> mentions;
  std::optional<ResourceRef> reference;
  bool operator==(const SendMessage&) const = default;
};
struct EditMessage {
  static constexpr std::string_view kName = "EditMessage";
  std::string channel;
  std::string id;
  std::string text;
  std::int64_t ts = 0;
  bool operator==(const EditMessage&) const = default;
};
struct DeleteMessage {
  static constexpr std::string_view kName = "DeleteMessage";
  std::string channel;
  std::string id;
  bool operator==(const DeleteMessage&) const = default;
};
struct AddReaction {
  static constexpr std::string_view kName = "AddReaction";
  std::string channel;
  std::string msg;
  std::string emoji;
  std::string user;
  bool operator==(const AddReaction&) const = default;
};
struct RemoveReaction {
  static constexpr std::string_view kName = "RemoveReaction";
  std::string channel;
  std::string msg;
  std::string emoji;
  std::string user;
  bool operator==(const RemoveReaction&) const = default;
};
struct PinMessage {
  static constexpr std::string_view kName = "PinMessage";
  std::string channel;
  std::string msg;
  bool pinned = false;
  bool operator==(const PinMessage&) const = default;
};
struct CreateChannel {
  static constexpr std::string_view kName = "CreateChannel";
  std::string workspace;
  std::string category;
  std::string id;
  std::string name;
  ChannelKind kind = ChannelKind::Text;
  bool operator==(const CreateChannel&) const = default;
};
struct CreateCategory {
  static constexpr std::string_view kName = "CreateCategory";
  std::string workspace;
  std::string id;
  std::string name;
  bool operator==(const CreateCategory&) const = default;
};
struct RenameCategory {
  static constexpr std::string_view kName = "RenameCategory";
  std::string id;
  std::string name;
  bool operator==(const RenameCategory&) const = default;
};
struct DeleteCategory {
  static constexpr std::string_view kName = "DeleteCategory";
  std::string id;
  bool operator==(const DeleteCategory&) const = default;
};
struct SetCategoryCollapsed {
  static constexpr std::string_view kName = "SetCategoryCollapsed";
  std::string id;
  bool collapsed = false;
  bool operator==(const SetCategoryCollapsed&) const = default;
};
struct ReorderChannel {
  static constexpr std::string_view kName = "ReorderChannel";
  std::string id;
  bool up = false;
  bool operator==(const ReorderChannel&) const = default;
};
struct RenameChannel {
  static constexpr std::string_view kName = "RenameChannel";
  std::string id;
  std::string name;
  bool operator==(const RenameChannel&) const = default;
};
struct DeleteChannel {
  static constexpr std::string_view kName = "DeleteChannel";
  std::string id;
  bool operator==(const DeleteChannel&) const = default;
};
struct ArchiveChannel {
  static constexpr std::string_view kName = "ArchiveChannel";
  std::string id;
  bool archived = false;
  bool operator==(const ArchiveChannel&) const = default;
};
struct MarkRead {
  static constexpr std::string_view kName = "MarkRead";
  std::string channel;
  std::string user;
  std::int64_t count = 0;
  bool operator==(const MarkRead&) const = default;
};
struct SetAgentWork {
  static constexpr std::string_view kName = "SetAgentWork";
  std::string channel;
  std::string msg;
  document::AgentWork work;
  std::optional<std::string> say;
  bool operator==(const SetAgentWork&) const = default;
};
struct JoinCall {
  static constexpr std::string_view kName = "JoinCall";
  std::string channel;
  std::string user;
  bool operator==(const JoinCall&) const = default;
};
struct LeaveCall {
  static constexpr std::string_view kName = "LeaveCall";
  std::string channel;
  std::string user;
  bool operator==(const LeaveCall&) const = default;
};
struct SetCallState {
  static constexpr std::string_view kName = "SetCallState";
  std::string channel;
  std::string user;
  bool talking = false;
  bool muted = false;
  bool deafened = false;
  bool audio_only = false;
  bool operator==(const SetCallState&) const = default;
};
struct SetScreenShare {
  static constexpr std::string_view kName = "SetScreenShare";
  std::string channel;
  std::string user;
  bool sharing = false;
  bool operator==(const SetScreenShare&) const = default;
};
struct SetCallTicket {
  static constexpr std::string_view kName = "SetCallTicket";
  std::string channel;
  std::string user;
  std::string ticket;
  bool operator==(const SetCallTicket&) const = default;
};

using ChatAction =
    std::variant<SendMessage, EditMessage, DeleteMessage, AddReaction, RemoveReaction, PinMessage,
                 CreateChannel, CreateCategory, RenameCategory, DeleteCategory,
                 SetCategoryCollapsed, ReorderChannel, RenameChannel, DeleteChannel, ArchiveChannel,
                 MarkRead, SetAgentWork, JoinCall, LeaveCall, SetCallState, SetScreenShare,
                 SetCallTicket>;

// ---- ChatOperation variants, in declaration order.

struct OpenWorkspace {
  static constexpr std::string_view kName = "OpenWorkspace";
  std::string workspace;
  bool operator==(const OpenWorkspace&) const = default;
};
struct OpenChannel {
  static constexpr std::string_view kName = "OpenChannel";
  std::string workspace;
  std::string channel;
  bool operator==(const OpenChannel&) const = default;
};
struct OpenCategory {
  static constexpr std::string_view kName = "OpenCategory";
  std::string workspace;
  std::string category;
  bool operator==(const OpenCategory&) const = default;
};
struct RevealMessage {
  static constexpr std::string_view kName = "RevealMessage";
  std::string workspace;
  std::string channel;
  std::string message;
  std::optional<std::string> parent;  // the thread root when the message is a reply
  bool operator==(const RevealMessage&) const = default;
};
struct OpenPerson {
  static constexpr std::string_view kName = "OpenPerson";
  std::string user;
  bool operator==(const OpenPerson&) const = default;
};
struct ImportAttachment {
  static constexpr std::string_view kName = "ImportAttachment";
  std::string channel;
  std::string path;  // a local file path
  bool operator==(const ImportAttachment&) const = default;
};

using ChatOperation = std::variant<OpenWorkspace, OpenChannel, OpenCategory, RevealMessage,
                                   OpenPerson, ImportAttachment>;

// The JSON name of the held variant ("SendMessage", "OpenChannel", ...).
inline std::string_view variant_name(const ChatAction& action) {
  return std::visit([](const auto& v) { return std::decay_t<decltype(v)>::kName; }, action);
}
inline std::string_view variant_name(const ChatOperation& op) {
  return std::visit([](const auto& v) { return std::decay_t<decltype(v)>::kName; }, op);
}

}  // namespace chat::actions
