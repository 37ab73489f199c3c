#include "actions/apply.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "actions/action_json.h"
#include "document/access.h"
#include "document/agent_work_store.h"
#include "document/entities.h"
#include "document/messages.h"
#include "platform/zarn_ui/doc/splice.h"

namespace chat::actions {
namespace {

using crdt::Document;
using crdt::ObjId;
namespace doc_ns = chat::document;

// ---- Lookups.

std::optional<ObjId> entity(const Document& doc, std::string_view root_key, std::string_view id) {
  auto parent = doc_ns::get_map(doc, ObjId::root(), root_key);
  if (!parent) return std::nullopt;
  return doc_ns::get_map(doc, *parent, id);
}

std::optional<ObjId> channel_messages(const Document& doc, std::string_view channel) {
  auto messages = doc_ns::get_map(doc, ObjId::root(), doc_ns::kMessages);
  if (!messages) return std::nullopt;
  return doc_ns::get_list(doc, *messages, channel);
}

// Position of the first message map with this id in the channel's list.
std::optional<std::size_t> message_index(const Document& doc, const ObjId& list,
                                         std::string_view id) {
  const std::size_t n = doc.length(list);
  for (std::size_t i = 0; i < n; ++i) {
    auto m = doc_ns::map_at(doc, list, i);
    if (m && doc_ns::read_str(doc, *m, "id") == id) return i;
  }
  return std::nullopt;
}

// The order value as the read model compares it: the low 32 bits, unsigned.
std::uint32_t read_order(std::int64_t order) {
  return static_cast<std::uint32_t>(order);
}

// Channels in read-model order: key order, then stably by order.
std::vector<doc_ns::ChannelRecord> channels_in_read_order(const Document& doc) {
  auto channels = doc_ns::read_channels(doc);
  std::stable_sort(channels.begin(), channels.end(), [](const auto& a, const auto& b) {
    return read_order(a.order) < read_order(b.order);
  });
  return channels;
}

std::int64_t next_order(std::optional<std::int64_t> largest) {
  if (!largest) return 0;
  if (*largest == std::numeric_limits<std::int64_t>::max()) return *largest;
  return *largest + 1;
}

// ---- Member maps of calls: voice[channel][user].

ObjId ensure_member(Document& doc, std::string_view channel, std::string_view user) {
  ObjId voice = doc_ns::ensure_map(doc, ObjId::root(), doc_ns::kVoice);
  ObjId call = doc_ns::ensure_map(doc, voice, channel);
  return doc_ns::ensure_map(doc, call, user);
}

// ---- Validation.

bool valid_message_id(std::string_view id) {
  if (id.empty() || id.size() > kMaxMessageIdBytes) return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
  });
}

// C0 controls and DEL arrive as single bytes; C1 controls (U+0080-U+009F) as C2 80-C2 9F.
bool has_control_character(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < s.size()) {
      const auto next = static_cast<unsigned char>(s[i + 1]);
      if (next >= 0x80 && next <= 0x9F) return true;
    }
  }
  return false;
}

bool valid_blob(std::string_view blob) {
  return blob.size() == 64 && std::all_of(blob.begin(), blob.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

bool valid_attachment(const Attachment& attachment) {
  const bool common = std::visit(
      [](const auto& a) {
        return !a.name.empty() && a.name.size() <= kMaxAttachmentNameBytes &&
               doc_ns::is_valid_utf8(a.name) && !has_control_character(a.name) &&
               valid_blob(a.blob);
      },
      attachment);
  if (!common) return false;
  if (const auto* img = std::get_if<ImageAttachment>(&attachment)) {
    return img->w >= 1 && img->w <= kMaxAttachmentPixels && img->h >= 1 &&
           img->h <= kMaxAttachmentPixels;
  }
  if (const auto* vid = std::get_if<VideoAttachment>(&attachment)) {
    return vid->size >= 1 && vid->size <= kMaxAttachmentBytes && vid->w <= kMaxAttachmentPixels &&
           vid->h <= kMaxAttachmentPixels;
  }
  const auto& file = std::get<FileAttachment>(attachment);
  return file.size >= 1 && file.size <= kMaxAttachmentBytes;
}

// Every string of the action, keys and values, is UTF-8; the document refuses anything else,
// and a refused structural write would stop the program.
bool strings_valid(const Json& v) {
  if (v.is_string()) return doc_ns::is_valid_utf8(v.get_ref<const std::string&>());
  if (v.is_object()) {
    for (auto it = v.begin(); it != v.end(); ++it) {
      if (!doc_ns::is_valid_utf8(it.key()) || !strings_valid(it.value())) return false;
    }
  } else if (v.is_array()) {
    for (const auto& child : v) {
      if (!strings_valid(child)) return false;
    }
  }
  return true;
}

// ---- Messages.

void send_message(Document& doc, const SendMessage& a) {
  if (!send_message_acceptable(doc, a)) return;
  doc_ns::MessageRecord record;
  record.id = a.id;
  record.author = a.author;
  record.ts = a.ts;
  if (a.parent && !a.parent->empty()) record.parent = a.parent;
  record.text = a.text;
  record.mentions = a.mentions;
  if (a.reference) record.reference = to_json_text(*a.reference);
  record.attachment = a.attachment;
  (void)doc_ns::write_message(doc, a.channel, record);
}

void edit_message(Document& doc, const EditMessage& a) {
  auto msg = doc_ns::find_message(doc, a.channel, a.id);
  if (!msg) return;
  const std::string current = doc_ns::read_text(doc, *msg, "text").value_or(std::string());
  if (current == a.text) return;
  ObjId history = doc_ns::ensure_list(doc, *msg, "history");
  ObjId entry = doc_ns::append_map(doc, history, "hrec");
  doc_ns::put_int(doc, entry, "ts", a.ts);
  doc_ns::put_str(doc, entry, "text", current);
  ObjId text = doc_ns::ensure_text(doc, *msg, "text");
  if (!zarn_ui::doc::splice_text_diffed(doc, text, a.text)) doc_ns::stop("put text");
  doc_ns::put_bool_if_differs(doc, *msg, "edited", true);
}

void delete_message(Document& doc, const DeleteMessage& a) {
  auto list = channel_messages(doc, a.channel);
  if (!list) return;
  if (auto i = message_index(doc, *list, a.id)) (void)doc.delete_at(*list, *i);
}

bool same_reaction(const Document& doc, const ObjId& entry, std::string_view emoji,
                   std::string_view user) {
  return doc_ns::read_str(doc, entry, "emoji") == emoji &&
         doc_ns::read_str(doc, entry, "user") == user;
}

void add_reaction(Document& doc, const AddReaction& a) {
  auto msg = doc_ns::find_message(doc, a.channel, a.msg);
  if (!msg) return;
  ObjId list = doc_ns::ensure_list(doc, *msg, "reactions");
  const std::size_t n = doc.length(list);
  for (std::size_t i = 0; i < n; ++i) {
    auto entry = doc_ns::map_at(doc, list, i);
    if (entry && same_reaction(doc, *entry, a.emoji, a.user)) return;
  }
  ObjId entry = doc_ns::append_map(doc, list, "rxentry");
  doc_ns::put_str(doc, entry, "emoji", a.emoji);
  doc_ns::put_str(doc, entry, "user", a.user);
}

// Every matching entry goes: concurrent adds on two replicas leave two, and removing only one
// would leave the reaction showing.
void remove_reaction(Document& doc, const RemoveReaction& a) {
  auto msg = doc_ns::find_message(doc, a.channel, a.msg);
  if (!msg) return;
  auto list = doc_ns::get_list(doc, *msg, "reactions");
  if (!list) return;
  for (std::size_t i = doc.length(*list); i-- > 0;) {
    auto entry = doc_ns::map_at(doc, *list, i);
    if (entry && same_reaction(doc, *entry, a.emoji, a.user)) (void)doc.delete_at(*list, i);
  }
}

void pin_message(Document& doc, const PinMessage& a) {
  auto msg = doc_ns::find_message(doc, a.channel, a.msg);
  if (!msg) return;
  if (doc_ns::bool_or_false(doc, *msg, "pinned") != a.pinned) {
    doc_ns::put_bool(doc, *msg, "pinned", a.pinned);
  }
}

void set_agent_work(Document& doc, const SetAgentWork& a) {
  auto msg = doc_ns::find_message(doc, a.channel, a.msg);
  if (!msg) return;
  if (doc_ns::read_agent_work(doc, *msg) != a.work) doc_ns::write_agent_work(doc, *msg, a.work);
  if (!a.say || a.say->empty()) return;
  if (!doc_ns::read_text(doc, *msg, "text").value_or(std::string()).empty()) return;
  ObjId text = doc_ns::ensure_text(doc, *msg, "text");
  if (!zarn_ui::doc::splice_text_diffed(doc, text, *a.say)) doc_ns::stop("put text");
}

// ---- Channels and categories.

void create_channel(Document& doc, const CreateChannel& a) {
  std::optional<std::int64_t> largest;
  for (const auto& ch : doc_ns::read_channels(doc)) {
    if (ch.workspace == a.workspace && ch.category == a.category) {
      largest = std::max(largest.value_or(ch.order), ch.order);
    }
  }
  ObjId channels = doc_ns::ensure_map(doc, ObjId::root(), doc_ns::kChannels);
  auto made = doc.put_object(channels, a.id, crdt::ObjType::Map);
  if (!made) doc_ns::stop("put map");
  const bool voice = a.kind == ChannelKind::Voice;
  doc_ns::put_str(doc, *made, "workspace", a.workspace);
  doc_ns::put_str(doc, *made, "category", a.category);
  doc_ns::put_str(doc, *made, "name", a.name);
  doc_ns::put_str(doc, *made, "topic", "");
  doc_ns::put_str(doc, *made, "kind", voice ? "voice" : "text");
  doc_ns::put_int(doc, *made, "order", next_order(largest));
  if (voice) {
    ObjId root_voice = doc_ns::ensure_map(doc, ObjId::root(), doc_ns::kVoice);
    doc_ns::ensure_map(doc, root_voice, a.id);
  }
}

void create_category(Document& doc, const CreateCategory& a) {
  std::optional<std::int64_t> largest;
  for (const auto& cat : doc_ns::read_categories(doc)) {
    if (cat.workspace == a.workspace) largest = std::max(largest.value_or(cat.order), cat.order);
  }
  ObjId categories = doc_ns::ensure_map(doc, ObjId::root(), doc_ns::kCategories);
  auto made = doc.put_object(categories, a.id, crdt::ObjType::Map);
  if (!made) doc_ns::stop("put map");
  doc_ns::put_str(doc, *made, "workspace", a.workspace);
  doc_ns::put_str(doc, *made, "name", a.name);
  doc_ns::put_int(doc, *made, "order", next_order(largest));
  doc_ns::put_bool(doc, *made, "collapsed", false);
}

void delete_category(Document& doc, const DeleteCategory& a) {
  auto cat = entity(doc, doc_ns::kCategories, a.id);
  if (!cat) return;
  if (auto channels_map = doc_ns::get_map(doc, ObjId::root(), doc_ns::kChannels)) {
    const auto channels = channels_in_read_order(doc);
    // Largest order among each workspace's channels without category, grown as channels join.
    std::map<std::string, std::int64_t, std::less<>> largest;
    for (const auto& ch : channels) {
      if (!ch.category.empty()) continue;
      auto [it, fresh] = largest.try_emplace(ch.workspace, ch.order);
      if (!fresh) it->second = std::max(it->second, ch.order);
    }
    for (const auto& ch : channels) {
      if (ch.category != a.id) continue;
      auto m = doc_ns::get_map(doc, *channels_map, ch.id);
      if (!m) continue;
      auto it = largest.find(ch.workspace);
      const std::int64_t order =
          next_order(it == largest.end() ? std::nullopt : std::optional(it->second));
      largest[ch.workspace] = order;
      doc_ns::put_str_if_differs(doc, *m, "category", "");
      doc_ns::put_int_if_differs(doc, *m, "order", order);
    }
  }
  if (auto categories = doc_ns::get_map(doc, ObjId::root(), doc_ns::kCategories)) {
    (void)doc.delete_key(*categories, a.id);
  }
}

void reorder_channel(Document& doc, const ReorderChannel& a) {
  const auto all = channels_in_read_order(doc);
  auto self = std::find_if(all.begin(), all.end(), [&](const auto& ch) { return ch.id == a.id; });
  if (self == all.end()) return;
  std::vector<doc_ns::ChannelRecord> siblings;
  for (const auto& ch : all) {
    if (ch.workspace == self->workspace && ch.category == self->category) siblings.push_back(ch);
  }
  // Already in order: the read order sorts by the same key, stably.
  std::size_t i = 0;
  while (siblings[i].id != a.id) ++i;
  std::size_t j = 0;
  if (a.up) {
    if (i == 0) return;
    j = i - 1;
  } else {
    if (i + 1 >= siblings.size()) return;
    j = i + 1;
  }
  auto channels_map = doc_ns::get_map(doc, ObjId::root(), doc_ns::kChannels);
  if (!channels_map) return;
  auto mine = doc_ns::get_map(doc, *channels_map, siblings[i].id);
  auto theirs = doc_ns::get_map(doc, *channels_map, siblings[j].id);
  if (!mine || !theirs) return;
  doc_ns::put_int_if_differs(doc, *mine, "order", siblings[j].order);
  doc_ns::put_int_if_differs(doc, *theirs, "order", siblings[i].order);
}

void delete_channel(Document& doc, const DeleteChannel& a) {
  for (std::string_view root_key :
       {doc_ns::kChannels, doc_ns::kMessages, doc_ns::kVoice, doc_ns::kDrafts}) {
    auto parent = doc_ns::get_map(doc, ObjId::root(), root_key);
    if (parent && doc.get(*parent, a.id)) (void)doc.delete_key(*parent, a.id);
  }
}

template <typename F>
void with_entity(Document& doc, std::string_view root_key, std::string_view id, F f) {
  if (auto m = entity(doc, root_key, id)) f(*m);
}

// ---- Read marks and calls.

void mark_read(Document& doc, const MarkRead& a) {
  ObjId read = doc_ns::ensure_map(doc, ObjId::root(), doc_ns::kRead);
  ObjId marks = doc_ns::ensure_map(doc, read, a.user);
  if (doc_ns::int_or_zero(doc, marks, a.channel) != a.count) {
    doc_ns::put_int(doc, marks, a.channel, a.count);
  }
}

void leave_call(Document& doc, const LeaveCall& a) {
  auto voice = doc_ns::get_map(doc, ObjId::root(), doc_ns::kVoice);
  if (!voice) return;
  auto call = doc_ns::get_map(doc, *voice, a.channel);
  if (call && doc.get(*call, a.user)) (void)doc.delete_key(*call, a.user);
}

// The member's own client is the authority on its state, so the flags are put even when equal:
// that re-asserts them over a concurrent write from another replica.
void set_call_state(Document& doc, const SetCallState& a) {
  ObjId m = ensure_member(doc, a.channel, a.user);
  doc_ns::put_bool(doc, m, "talking", a.talking);
  doc_ns::put_bool(doc, m, "muted", a.muted);
  doc_ns::put_bool(doc, m, "deafened", a.deafened);
  doc_ns::put_bool(doc, m, "audio_only", a.audio_only);
}

struct Applier {
  Document& doc;

  void operator()(const SendMessage& a) { send_message(doc, a); }
  void operator()(const EditMessage& a) { edit_message(doc, a); }
  void operator()(const DeleteMessage& a) { delete_message(doc, a); }
  void operator()(const AddReaction& a) { add_reaction(doc, a); }
  void operator()(const RemoveReaction& a) { remove_reaction(doc, a); }
  void operator()(const PinMessage& a) { pin_message(doc, a); }
  void operator()(const CreateChannel& a) { create_channel(doc, a); }
  void operator()(const CreateCategory& a) { create_category(doc, a); }
  void operator()(const RenameCategory& a) {
    with_entity(doc, doc_ns::kCategories, a.id,
                [&](const ObjId& m) { doc_ns::put_str_if_differs(doc, m, "name", a.name); });
  }
  void operator()(const DeleteCategory& a) { delete_category(doc, a); }
  void operator()(const SetCategoryCollapsed& a) {
    with_entity(doc, doc_ns::kCategories, a.id, [&](const ObjId& m) {
      doc_ns::put_bool_if_differs(doc, m, "collapsed", a.collapsed);
    });
  }
  void operator()(const ReorderChannel& a) { reorder_channel(doc, a); }
  void operator()(const RenameChannel& a) {
    with_entity(doc, doc_ns::kChannels, a.id,
                [&](const ObjId& m) { doc_ns::put_str_if_differs(doc, m, "name", a.name); });
  }
  void operator()(const DeleteChannel& a) { delete_channel(doc, a); }
  void operator()(const ArchiveChannel& a) {
    with_entity(doc, doc_ns::kChannels, a.id, [&](const ObjId& m) {
      if (doc_ns::bool_or_false(doc, m, "archived") != a.archived) {
        doc_ns::put_bool(doc, m, "archived", a.archived);
      }
    });
  }
  void operator()(const MarkRead& a) { mark_read(doc, a); }
  void operator()(const SetAgentWork& a) { set_agent_work(doc, a); }
  void operator()(const JoinCall& a) { doc_ns::join_call(doc, a.channel, a.user); }
  void operator()(const LeaveCall& a) { leave_call(doc, a); }
  void operator()(const SetCallState& a) { set_call_state(doc, a); }
  void operator()(const SetScreenShare& a) {
    const ObjId m = ensure_member(doc, a.channel, a.user);
    if (doc_ns::bool_or_false(doc, m, "sharing") != a.sharing) {
      doc_ns::put_bool(doc, m, "sharing", a.sharing);
    }
  }
  void operator()(const SetCallTicket& a) {
    const ObjId m = ensure_member(doc, a.channel, a.user);
    if (doc_ns::str_or_empty(doc, m, "ticket") != a.ticket)
      doc_ns::put_str(doc, m, "ticket", a.ticket);
  }
};

}  // namespace

bool send_message_acceptable(const crdt::Document& doc, const SendMessage& a) {
  if (!strings_valid(to_json_value(ChatAction{a}))) return false;
  if (!entity(doc, doc_ns::kChannels, a.channel)) return false;
  if (!valid_message_id(a.id)) return false;
  if (doc_ns::message_id_exists(doc, a.id)) return false;
  if (a.text.size() > kMaxMessageTextBytes) return false;
  if (a.attachment && !valid_attachment(*a.attachment)) return false;
  if (a.parent && !a.parent->empty()) {
    // Threads are one level deep; a root that is nowhere to be found does not block the reply.
    if (auto root = doc_ns::find_message(doc, a.channel, *a.parent)) {
      if (!doc_ns::str_or_empty(doc, *root, "parent").empty()) return false;
    }
  }
  return true;
}

void apply(crdt::Document& doc, const ChatAction& action) {
  if (!strings_valid(to_json_value(action))) return;
  std::visit(Applier{doc}, action);
}

}  // namespace chat::actions
