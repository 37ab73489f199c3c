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
  const std::size_t n = doc.length(list);
  for (std::size_t i = 0; i < n; ++i) {
    if (auto m = map_at(doc, list, i)) visit(*m);
  }
}

}  // namespace

MessageWrite write_message(crdt::Document& doc, std::string_view channel,
                           const MessageRecord& msg) {
  if (message_id_exists(doc, msg.id)) return MessageWrite::DuplicateId;
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

bool message_id_exists(const crdt::Document& doc, std::string_view id) {
  auto messages = get_map(doc, ObjId::root(), kMessages);
  if (!messages) return false;
  for (const std::string& channel : doc.keys(*messages)) {
    auto list = get_list(doc, *messages, channel);
    if (!list) continue;
    const std::size_t n = doc.length(*list);
    for (std::size_t i = 0; i < n; ++i) {
      auto m = map_at(doc, *list, i);
      if (m && read_str(doc, *m, "id") == id) return true;
    }
  }
  return false;
}

std::optional<crdt::ObjId> find_message(const crdt::Document& doc, std::string_view channel,
                                        std::string_view id) {
  auto list = channel_list(doc, channel);
  if (!list) return std::nullopt;
  const std::size_t n = doc.length(*list);
  for (std::size_t i = 0; i < n; ++i) {
    auto m = map_at(doc, *list, i);
    if (m && read_str(doc, *m, "id") == id) return m;
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
  std::vector<std::pair<std::string, std::string>> entries;
  if (auto list = get_list(doc, msg, "reactions")) {
    for_each_map(doc, *list, [&](const ObjId& e) {
      entries.emplace_back(str_or_empty(doc, e, "emoji"), str_or_empty(doc, e, "user"));
    });
  }
  return group_reactions(entries);
}

std::optional<Attachment> read_attachment(const crdt::Document& doc, const crdt::ObjId& msg) {
  auto att = get_map(doc, msg, "attachment");
  if (!att) return std::nullopt;
  const std::string kind = str_or_empty(doc, *att, "kind");
  std::string name = str_or_empty(doc, *att, "name");
  std::string blob = str_or_empty(doc, *att, "blob");
  const auto w = pixels(int_or_zero(doc, *att, "w"));
  const auto h = pixels(int_or_zero(doc, *att, "h"));
  const auto size = non_negative(int_or_zero(doc, *att, "size"));
  if (kind == "image") return ImageAttachment{std::move(name), std::move(blob), w, h};
  if (kind == "video") return VideoAttachment{std::move(name), std::move(blob), w, h, size};
  if (kind == "file") return FileAttachment{std::move(name), std::move(blob), size};
  return std::nullopt;
}

MessageRecord read_message(const crdt::Document& doc, const crdt::ObjId& msg) {
  MessageRecord r;
  r.id = str_or_empty(doc, msg, "id");
  r.author = str_or_empty(doc, msg, "author");
  r.ts = int_or_zero(doc, msg, "ts");
  std::string parent = str_or_empty(doc, msg, "parent");
  if (!parent.empty()) r.parent = std::move(parent);
  r.edited = bool_or_false(doc, msg, "edited");
  r.text = read_text(doc, msg, "text").value_or(std::string());
  r.reactions = read_reactions(doc, msg);
  if (auto list = get_list(doc, msg, "mentions")) {
    for_each_map(doc, *list, [&](const ObjId& e) {
      r.mentions.push_back(
          Mention{str_or_empty(doc, e, "user"), non_negative(int_or_zero(doc, e, "start")),
                  non_negative(int_or_zero(doc, e, "len")), bool_or_false(doc, e, "agent")});
    });
  }
  r.reference = read_str(doc, msg, "reference");
  r.work = read_agent_work(doc, msg);
  if (auto list = get_list(doc, msg, "history")) {
    for_each_map(doc, *list, [&](const ObjId& e) {
      r.history.push_back(HistoryEntry{int_or_zero(doc, e, "ts"), str_or_empty(doc, e, "text")});
    });
  }
  r.attachment = read_attachment(doc, msg);
  r.pinned = bool_or_false(doc, msg, "pinned");
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
  for_each_map(doc, *list, [&](const ObjId& m) {
    if (read_str(doc, m, "parent") == root_id) out.push_back(read_message(doc, m));
  });
  return out;
}

}  // namespace chat::document
