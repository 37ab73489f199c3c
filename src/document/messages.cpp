#include "document/messages.h"

#include <algorithm>
#include <limits>

#include "document/access.h"
#include "document/agent_work_store.h"
#include "document/entities.h"

namespace chat::document {

namespace {

using crdt::Document;
using crdt::ObjId;

std::string_view attachment_name(const Attachment& a) {
  return std::visit([](const auto& v) -> std::string_view { return v.name; }, a);
}

std::string_view attachment_blob(const Attachment& a) {
  return std::visit([](const auto& v) -> std::string_view { return v.blob; }, a);
}

bool strings_valid(const MessageRecord& m) {
  auto ok = [](std::string_view s) { return is_valid_utf8(s); };
  if (!ok(m.id) || !ok(m.author) || !ok(m.text)) return false;
  if (m.parent && !ok(*m.parent)) return false;
  if (m.reference && !ok(*m.reference)) return false;
  for (const auto& g : m.reactions) {
    if (!ok(g.emoji)) return false;
    for (const auto& u : g.users) {
      if (!ok(u)) return false;
    }
  }
  for (const auto& mention : m.mentions) {
    if (!ok(mention.user)) return false;
  }
  for (const auto& h : m.history) {
    if (!ok(h.text)) return false;
  }
  if (m.attachment && (!ok(attachment_name(*m.attachment)) || !ok(attachment_blob(*m.attachment))))
    return false;
  return true;
}

void write_attachment(Document& doc, const ObjId& msg, const Attachment& attachment) {
  const ObjId att = ensure_map(doc, msg, "attachment", "att");
  std::visit(
      [&](const auto& a) {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, ImageAttachment>) {
          put_str(doc, att, "kind", "image");
        } else if constexpr (std::is_same_v<T, VideoAttachment>) {
          put_str(doc, att, "kind", "video");
        } else {
          put_str(doc, att, "kind", "file");
        }
        put_str(doc, att, "name", a.name);
        put_str(doc, att, "blob", a.blob);
        if constexpr (!std::is_same_v<T, FileAttachment>) {
          put_int(doc, att, "w", a.w);
          put_int(doc, att, "h", a.h);
        }
        if constexpr (!std::is_same_v<T, ImageAttachment>) {
          put_int(doc, att, "size", static_cast<std::int64_t>(a.size));
        }
      },
      attachment);
}

std::uint64_t non_negative(std::int64_t v) {
  return v < 0 ? 0 : static_cast<std::uint64_t>(v);
}

std::uint32_t pixels(std::int64_t v) {
  if (v < 0) return 0;
  if (v > std::numeric_limits<std::uint32_t>::max())
    return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(v);
}

std::optional<ObjId> channel_list(const Document& doc, std::string_view channel) {
  auto messages = get_map(doc, ObjId::root(), kMessages);
  if (!messages) return std::nullopt;
  return get_list(doc, *messages, channel);
}

template <typename Visit>
void for_each_map(const Document& doc, const ObjId& list, Visit visit) {
  for (const crdt::Value& v : doc.list_values(list)) {
    if (auto m = v.as_obj(crdt::ObjType::Map)) visit(*m);
  }
}

std::vector<ReactionGroup> reactions_in(const Document& doc, const ObjId& list) {
  std::vector<std::pair<std::string, std::string>> entries;
  for_each_map(doc, list, [&](const ObjId& e) {
    const MapEntries entry(doc, e);
    entries.emplace_back(entry.str_or_empty("emoji"), entry.str_or_empty("user"));
  });
  return group_reactions(entries);
}

std::optional<Attachment> attachment_in(const Document& doc, const ObjId& att) {
  const MapEntries a(doc, att);
  const std::string kind = a.str_or_empty("kind");
  std::string name = a.str_or_empty("name");
  std::string blob = a.str_or_empty("blob");
  const auto w = pixels(a.int_or_zero("w"));
  const auto h = pixels(a.int_or_zero("h"));
  const auto size = non_negative(a.int_or_zero("size"));
  if (kind == "image") return ImageAttachment{std::move(name), std::move(blob), w, h};
  if (kind == "video") return VideoAttachment{std::move(name), std::move(blob), w, h, size};
  if (kind == "file") return FileAttachment{std::move(name), std::move(blob), size};
  return std::nullopt;
}

bool has_id(const std::optional<crdt::Value>& field, std::string_view id) {
  const std::string* s = field ? field->as_str() : nullptr;
  return s && *s == id;
}

// Every message id of the document, as message_id_exists sees them.
template <typename Visit>
bool for_each_message_id(const Document& doc, Visit visit) {
  auto messages = get_map(doc, ObjId::root(), kMessages);
  if (!messages) return false;
  // One pass per channel list; reading every id through get() would walk each list from its
  // root per index and look every message up by id again.
  for (const auto& [channel, value] : doc.map_entries(*messages)) {
    auto list = value.as_obj(crdt::ObjType::List);
    if (!list) continue;
    for (const auto& field : doc.list_field(*list, "id")) {
      const std::string* id = field ? field->as_str() : nullptr;
      if (id && visit(*id)) return true;
    }
  }
  return false;
}

MessageWrite write_unchecked(crdt::Document& doc, std::string_view channel,
                             const MessageRecord& msg);

}  // namespace

MessageWrite write_message(crdt::Document& doc, std::string_view channel,
                           const MessageRecord& msg) {
  if (message_id_exists(doc, msg.id)) return MessageWrite::DuplicateId;
  return write_unchecked(doc, channel, msg);
}

MessageWrite write_message(crdt::Document& doc, std::string_view channel, const MessageRecord& msg,
                           MessageIdIndex& index) {
  if (index.contains(doc, msg.id)) return MessageWrite::DuplicateId;
  const MessageWrite result = write_unchecked(doc, channel, msg);
  // The index matched the document just before these writes, which added exactly this id.
  if (result == MessageWrite::Written) index.ids_.insert(msg.id);
  index.revision_ = doc.revision();
  return result;
}

bool MessageIdIndex::contains(const crdt::Document& doc, std::string_view id) {
  if (revision_ != doc.revision()) {
    ids_.clear();
    for_each_message_id(doc, [&](const std::string& s) {
      ids_.insert(s);
      return false;
    });
    revision_ = doc.revision();
  }
  return ids_.find(id) != ids_.end();
}

namespace {

MessageWrite write_unchecked(crdt::Document& doc, std::string_view channel,
                             const MessageRecord& msg) {
  if (!strings_valid(msg) || !is_valid_utf8(channel)) return MessageWrite::InvalidUtf8;

  ObjId messages = ensure_map(doc, ObjId::root(), kMessages);
  ObjId list = ensure_list(doc, messages, channel);
  ObjId m = append_map(doc, list, "insert msg");

  put_str(doc, m, "id", msg.id);
  put_str(doc, m, "author", msg.author);
  put_int(doc, m, "ts", msg.ts);
  put_str(doc, m, "parent", msg.parent.value_or(std::string()));
  put_bool(doc, m, "edited", msg.edited);
  const ObjId text = ensure_text(doc, m, "text");
  if (!msg.text.empty() && !doc.splice_text(text, 0, 0, msg.text)) stop("put text");

  ObjId reactions = ensure_list(doc, m, "reactions", "rx");
  for (const ReactionGroup& group : msg.reactions) {
    for (const std::string& user : group.users) {
      ObjId entry = append_map(doc, reactions, "rxentry");
      put_str(doc, entry, "emoji", group.emoji);
      put_str(doc, entry, "user", user);
    }
  }
  ObjId mentions = ensure_list(doc, m, "mentions", "mentions");
  for (const Mention& mention : msg.mentions) {
    ObjId entry = append_map(doc, mentions, "mention");
    put_str(doc, entry, "user", mention.user);
    put_int(doc, entry, "start", static_cast<std::int64_t>(mention.start));
    put_int(doc, entry, "len", static_cast<std::int64_t>(mention.len));
    put_bool(doc, entry, "agent", mention.is_agent);
  }
  if (msg.reference) put_str(doc, m, "reference", *msg.reference);
  if (msg.work) write_agent_work(doc, m, *msg.work);
  ObjId history = ensure_list(doc, m, "history", "hist");
  for (const HistoryEntry& h : msg.history) {
    ObjId entry = append_map(doc, history, "hrec");
    put_int(doc, entry, "ts", h.ts);
    put_str(doc, entry, "text", h.text);
  }
  if (msg.attachment) write_attachment(doc, m, *msg.attachment);
  return MessageWrite::Written;
}

}  // namespace

bool message_id_exists(const crdt::Document& doc, std::string_view id) {
  return for_each_message_id(doc, [&](const std::string& s) { return s == id; });
}

std::optional<crdt::ObjId> find_message(const crdt::Document& doc, std::string_view channel,
                                        std::string_view id) {
  auto list = channel_list(doc, channel);
  if (!list) return std::nullopt;
  const auto ids = doc.list_field(*list, "id");
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (has_id(ids[i], id)) return map_at(doc, *list, i);
  }
  return std::nullopt;
}

std::vector<ReactionGroup> group_reactions(
    const std::vector<std::pair<std::string, std::string>>& entries) {
  std::vector<ReactionGroup> groups;
  for (const auto& entry : entries) {
    const std::string& emoji = entry.first;
    const std::string& user = entry.second;
    if (emoji.empty()) continue;
    auto g = std::find_if(groups.begin(), groups.end(),
                          [&](const ReactionGroup& rg) { return rg.emoji == emoji; });
    if (g == groups.end()) {
      groups.push_back(ReactionGroup{emoji, {user}});
    } else if (std::find(g->users.begin(), g->users.end(), user) == g->users.end()) {
      g->users.push_back(user);
    }
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const ReactionGroup& a, const ReactionGroup& b) {
                     if (a.users.size() != b.users.size()) return a.users.size() > b.users.size();
                     return a.emoji < b.emoji;
                   });
  return groups;
}

std::vector<ReactionGroup> read_reactions(const crdt::Document& doc, const crdt::ObjId& msg) {
  auto list = get_list(doc, msg, "reactions");
  if (!list) return group_reactions({});
  return reactions_in(doc, *list);
}

std::optional<Attachment> read_attachment(const crdt::Document& doc, const crdt::ObjId& msg) {
  auto att = get_map(doc, msg, "attachment");
  if (!att) return std::nullopt;
  return attachment_in(doc, *att);
}

MessageRecord read_message(const crdt::Document& doc, const crdt::ObjId& msg) {
  // Every key is read from one pass over the message map.
  const MapEntries m(doc, msg);
  MessageRecord r;
  r.id = m.str_or_empty("id");
  r.author = m.str_or_empty("author");
  r.ts = m.int_or_zero("ts");
  std::string parent = m.str_or_empty("parent");
  if (!parent.empty()) r.parent = std::move(parent);
  r.edited = m.bool_or_false("edited");
  if (auto text = obj_of(m.find("text"), crdt::ObjType::Text)) r.text = doc.text(*text);
  if (auto list = obj_of(m.find("reactions"), crdt::ObjType::List)) {
    r.reactions = reactions_in(doc, *list);
  } else {
    r.reactions = group_reactions({});
  }
  if (auto list = obj_of(m.find("mentions"), crdt::ObjType::List)) {
    for_each_map(doc, *list, [&](const ObjId& e) {
      const MapEntries entry(doc, e);
      r.mentions.push_back(
          Mention{entry.str_or_empty("user"), non_negative(entry.int_or_zero("start")),
                  non_negative(entry.int_or_zero("len")), entry.bool_or_false("agent")});
    });
  }
  r.reference = str_of(m.find("reference"));
  // The agent-work reader finds nothing without a work map; skip its lookup then.
  if (obj_of(m.find("work"), crdt::ObjType::Map)) r.work = read_agent_work(doc, msg);
  if (auto list = obj_of(m.find("history"), crdt::ObjType::List)) {
    for_each_map(doc, *list, [&](const ObjId& e) {
      const MapEntries entry(doc, e);
      r.history.push_back(HistoryEntry{entry.int_or_zero("ts"), entry.str_or_empty("text")});
    });
  }
  if (auto att = obj_of(m.find("attachment"), crdt::ObjType::Map)) {
    r.attachment = attachment_in(doc, *att);
  }
  r.pinned = m.bool_or_false("pinned");
  return r;
}

std::vector<MessageRecord> read_messages(const crdt::Document& doc, std::string_view channel) {
  std::vector<MessageRecord> out;
  if (auto list = channel_list(doc, channel)) {
    for_each_map(doc, *list, [&](const ObjId& m) { out.push_back(read_message(doc, m)); });
  }
  return out;
}

std::vector<MessageRecord> thread_replies(const crdt::Document& doc, std::string_view channel,
                                          std::string_view root_id) {
  std::vector<MessageRecord> out;
  auto list = channel_list(doc, channel);
  if (!list || root_id.empty()) return out;
  const auto parents = doc.list_field(*list, "parent");
  std::size_t i = 0;
  for (const crdt::Value& v : doc.list_values(*list)) {
    const std::size_t at = i++;
    auto m = v.as_obj(crdt::ObjType::Map);
    if (m && at < parents.size() && has_id(parents[at], root_id)) {
      out.push_back(read_message(doc, *m));
    }
  }
  return out;
}

}  // namespace chat::document
