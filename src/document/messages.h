// Message records in the workspace document: the idempotent record writer, the tolerant
// reader, reaction grouping and thread replies. Messages live in per-channel lists under
// "messages" in posting order; ids are unique across the document. UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "document/records.h"
#include "platform/crdt/document.h"

namespace chat::document {

enum class MessageWrite {
  Written,
  DuplicateId,  // some channel already holds a message with this id; nothing written
  InvalidUtf8,  // a string of the record is not valid UTF-8; nothing written
};

// Appends the message to the channel's list with every nested list created (possibly empty);
// "pinned" is not written. Refused structural writes stop the program ("insert msg", "rx",
// "rxentry", "mentions", "mention", "hist", "hrec", "att", "put text", ...).
MessageWrite write_message(crdt::Document& doc, std::string_view channel, const MessageRecord& msg);

bool message_id_exists(const crdt::Document& doc, std::string_view id);

// The message ids of one document for a caller that posts often: the first check after any
// other change to the document reads every id once (what message_id_exists reads); after that
// checks, and posts made through write_message with this index, cost a hash lookup. Ids that
// merged changes bring in are seen because any change moves the document's revision.
class MessageIdIndex {
 public:
  bool contains(const crdt::Document& doc, std::string_view id);

 private:
  friend MessageWrite write_message(crdt::Document& doc, std::string_view channel,
                                    const MessageRecord& msg, MessageIdIndex& index);
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::optional<std::uint64_t> revision_;  // of the document the ids were read from
  std::unordered_set<std::string, Hash, std::equal_to<>> ids_;
};

// write_message with the duplicate check answered by `index`, which it keeps current.
MessageWrite write_message(crdt::Document& doc, std::string_view channel, const MessageRecord& msg,
                           MessageIdIndex& index);
// The first message map in the channel's list whose "id" matches.
std::optional<crdt::ObjId> find_message(const crdt::Document& doc, std::string_view channel,
                                        std::string_view id);

MessageRecord read_message(const crdt::Document& doc, const crdt::ObjId& msg);
// Every message map of the channel's list, in list order.
std::vector<MessageRecord> read_messages(const crdt::Document& doc, std::string_view channel);
// Messages of the channel whose parent is `root_id`, in list order.
std::vector<MessageRecord> thread_replies(const crdt::Document& doc, std::string_view channel,
                                          std::string_view root_id);

// Groups (emoji, user) entries: users unique per emoji in entry order, empty emoji dropped;
// groups by reactor count descending, then emoji bytes ascending.
std::vector<ReactionGroup> group_reactions(
    const std::vector<std::pair<std::string, std::string>>& entries);
std::vector<ReactionGroup> read_reactions(const crdt::Document& doc, const crdt::ObjId& msg);

std::optional<Attachment> read_attachment(const crdt::Document& doc, const crdt::ObjId& msg);

}  // namespace chat::document
