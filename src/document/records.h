// Plain records of the workspace document's entities, as its writers take them and its
// tolerant readers return them. Ids are opaque strings; times are seconds since the Unix epoch.
// Values only; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "document/agent_work.h"

namespace chat::document {

enum class Presence { Online, Idle, Dnd, Offline };
enum class ChannelKind { Text, Voice };

struct WorkspaceRecord {
  std::string id;
  std::string name;
  std::string glyph;
  std::int64_t color_idx = 0;
  std::int64_t order = 0;
  bool operator==(const WorkspaceRecord&) const = default;
};

struct CategoryRecord {
  std::string id;
  std::string workspace;
  std::string name;
  std::int64_t order = 0;
  bool collapsed = false;
  bool operator==(const CategoryRecord&) const = default;
};

struct ChannelRecord {
  std::string id;
  std::string workspace;
  std::string category;
  std::string name;
  std::string topic;
  ChannelKind kind = ChannelKind::Text;
  std::int64_t order = 0;
  bool archived = false;
  bool operator==(const ChannelRecord&) const = default;
};

struct UserRecord {
  std::string id;
  std::string name;
  std::string initials;
  std::int64_t color_idx = 0;
  Presence status = Presence::Online;
  bool agent = false;
  bool operator==(const UserRecord&) const = default;
};

struct CallMemberRecord {
  std::string user;
  std::optional<std::string> ticket;
  bool talking = false;
  bool muted = false;
  bool deafened = false;
  bool audio_only = false;
  bool sharing = false;
  bool operator==(const CallMemberRecord&) const = default;
};

// One emoji with its reacting users, each at most once.
struct ReactionGroup {
  std::string emoji;
  std::vector<std::string> users;
  bool operator==(const ReactionGroup&) const = default;
};

// A mention of a person in a message text, located by UTF-8 byte offset and length.
struct Mention {
  std::string user;
  std::uint64_t start = 0;
  std::uint64_t len = 0;
  bool is_agent = false;
  bool operator==(const Mention&) const = default;
};

// A version of a message text replaced by the edit made at `ts`.
struct HistoryEntry {
  std::int64_t ts = 0;
  std::string text;
  bool operator==(const HistoryEntry&) const = default;
};

struct ImageAttachment {
  std::string name;
  std::string blob;
  std::uint32_t w = 0;
  std::uint32_t h = 0;
  bool operator==(const ImageAttachment&) const = default;
};
struct VideoAttachment {
  std::string name;
  std::string blob;
  std::uint32_t w = 0;
  std::uint32_t h = 0;
  std::uint64_t size = 0;
  bool operator==(const VideoAttachment&) const = default;
};
struct FileAttachment {
  std::string name;
  std::string blob;
  std::uint64_t size = 0;
  bool operator==(const FileAttachment&) const = default;
};
using Attachment = std::variant<ImageAttachment, VideoAttachment, FileAttachment>;

struct MessageRecord {
  std::string id;
  std::string author;
  std::int64_t ts = 0;
  std::optional<std::string> parent;  // the thread root; none for a top-level message
  bool edited = false;
  std::string text;
  std::vector<ReactionGroup> reactions;
  std::vector<Mention> mentions;
  std::optional<std::string> reference;  // compact JSON text of a resource reference
  std::optional<AgentWork> work;
  std::vector<HistoryEntry> history;  // oldest first
  std::optional<Attachment> attachment;
  bool pinned = false;  // read only; the record writer never pins
  bool operator==(const MessageRecord&) const = default;
};

}  // namespace chat::document
