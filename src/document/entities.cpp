#include "document/entities.h"

#include "document/access.h"

namespace chat::document {

namespace {

using crdt::Document;
using crdt::ObjId;

ObjId entity_map(Document& doc, std::string_view root_key, std::string_view id) {
  ObjId parent = ensure_map(doc, ObjId::root(), root_key);
  return ensure_map(doc, parent, id);
}

std::optional<ObjId> find_entity(const Document& doc, std::string_view root_key,
                                 std::string_view id) {
  auto parent = get_map(doc, ObjId::root(), root_key);
  if (!parent) return std::nullopt;
  return get_map(doc, *parent, id);
}

WorkspaceRecord workspace_from(const Document& doc, const ObjId& m, std::string id) {
  WorkspaceRecord ws;
  ws.id = std::move(id);
  ws.name = str_or_empty(doc, m, "name");
  ws.glyph = str_or_empty(doc, m, "glyph");
  ws.color_idx = int_or_zero(doc, m, "color_idx");
  ws.order = int_or_zero(doc, m, "order");
  return ws;
}

CategoryRecord category_from(const Document& doc, const ObjId& m, std::string id) {
  CategoryRecord cat;
  cat.id = std::move(id);
  cat.workspace = str_or_empty(doc, m, "workspace");
  cat.name = str_or_empty(doc, m, "name");
  cat.order = int_or_zero(doc, m, "order");
  cat.collapsed = bool_or_false(doc, m, "collapsed");
  return cat;
}

ChannelRecord channel_from(const Document& doc, const ObjId& m, std::string id) {
  ChannelRecord ch;
  ch.id = std::move(id);
  ch.workspace = str_or_empty(doc, m, "workspace");
  ch.category = str_or_empty(doc, m, "category");
  ch.name = str_or_empty(doc, m, "name");
  ch.topic = str_or_empty(doc, m, "topic");
  ch.kind = channel_kind_from_name(str_or_empty(doc, m, "kind"));
  ch.order = int_or_zero(doc, m, "order");
  ch.archived = bool_or_false(doc, m, "archived");
  return ch;
}

UserRecord user_from(const Document& doc, const ObjId& m, std::string id) {
  UserRecord u;
  u.id = std::move(id);
  u.name = str_or_empty(doc, m, "name");
  u.initials = str_or_empty(doc, m, "initials");
  u.color_idx = int_or_zero(doc, m, "color_idx");
  u.status = presence_from_name(str_or_empty(doc, m, "status"));
  u.agent = bool_or_false(doc, m, "agent");
  return u;
}

template <typename Record, typename From>
std::vector<Record> read_all(const Document& doc, std::string_view root_key, From from) {
  std::vector<Record> out;
  auto parent = get_map(doc, ObjId::root(), root_key);
  if (!parent) return out;
  for (std::string& key : doc.keys(*parent)) {
    if (auto m = get_map(doc, *parent, key)) out.push_back(from(doc, *m, std::move(key)));
  }
  return out;
}

ObjId member_map(Document& doc, std::string_view channel, std::string_view user) {
  ObjId voice = ensure_map(doc, ObjId::root(), kVoice);
  ObjId members = ensure_map(doc, voice, channel);
  return ensure_map(doc, members, user);
}

}  // namespace

std::string_view presence_name(Presence presence) {
  switch (presence) {
    case Presence::Idle:
      return "idle";
    case Presence::Dnd:
      return "dnd";
    case Presence::Offline:
      return "offline";
    case Presence::Online:
      break;
  }
  return "online";
}

Presence presence_from_name(std::string_view name) {
  if (name == "idle") return Presence::Idle;
  if (name == "dnd") return Presence::Dnd;
  if (name == "offline") return Presence::Offline;
  return Presence::Online;
}

ChannelKind channel_kind_from_name(std::string_view name) {
  return name == "voice" ? ChannelKind::Voice : ChannelKind::Text;
}

std::string_view channel_kind_name(ChannelKind kind) {
  return kind == ChannelKind::Voice ? "voice" : "text";
}

bool is_seeded(const crdt::Document& doc) {
  return bool_or_false(doc, ObjId::root(), kSeeded);
}

void write_workspace(crdt::Document& doc, const WorkspaceRecord& ws) {
  ObjId m = entity_map(doc, kWorkspaces, ws.id);
  put_str_if_differs(doc, m, "name", ws.name);
  put_str_if_differs(doc, m, "glyph", ws.glyph);
  put_int_if_differs(doc, m, "color_idx", ws.color_idx);
  put_int_if_differs(doc, m, "order", ws.order);
}

void write_category(crdt::Document& doc, const CategoryRecord& cat) {
  ObjId m = entity_map(doc, kCategories, cat.id);
  put_str_if_differs(doc, m, "workspace", cat.workspace);
  put_str_if_differs(doc, m, "name", cat.name);
  put_int_if_differs(doc, m, "order", cat.order);
  put_bool_if_differs(doc, m, "collapsed", cat.collapsed);
}

void write_channel(crdt::Document& doc, const ChannelRecord& ch) {
  ObjId m = entity_map(doc, kChannels, ch.id);
  put_str_if_differs(doc, m, "workspace", ch.workspace);
  put_str_if_differs(doc, m, "category", ch.category);
  put_str_if_differs(doc, m, "name", ch.name);
  put_str_if_differs(doc, m, "topic", ch.topic);
  put_str_if_differs(doc, m, "kind", channel_kind_name(ch.kind));
  put_int_if_differs(doc, m, "order", ch.order);
  if (ch.archived || read_bool(doc, m, "archived"))
    put_bool_if_differs(doc, m, "archived", ch.archived);
  if (ch.kind == ChannelKind::Voice) {
    ObjId voice = ensure_map(doc, ObjId::root(), kVoice);
    ensure_map(doc, voice, ch.id);
  }
}

void write_user(crdt::Document& doc, const UserRecord& user) {
  upsert_user(doc, user.id, user.name, user.initials, user.color_idx, user.status);
  ObjId m = entity_map(doc, kUsers, user.id);
  if (user.agent || read_bool(doc, m, "agent")) put_bool_if_differs(doc, m, "agent", user.agent);
}

void upsert_user(crdt::Document& doc, std::string_view id, std::string_view name,
                 std::string_view initials, std::int64_t color_idx, Presence presence) {
  ObjId m = entity_map(doc, kUsers, id);
  put_str_if_differs(doc, m, "name", name);
  put_str_if_differs(doc, m, "initials", initials);
  put_int_if_differs(doc, m, "color_idx", color_idx);
  put_str_if_differs(doc, m, "status", presence_name(presence));
}

void join_call(crdt::Document& doc, std::string_view channel, std::string_view user) {
  ObjId m = member_map(doc, channel, user);
  if (doc.get(m, "talking")) return;
  for (std::string_view key : {"talking", "muted", "deafened", "audio_only", "sharing"}) {
    put_bool(doc, m, key, false);
  }
}

void set_call_state(crdt::Document& doc, std::string_view channel, std::string_view user,
                    const CallState& state) {
  ObjId m = member_map(doc, channel, user);
  put_bool_if_differs(doc, m, "talking", state.talking);
  put_bool_if_differs(doc, m, "muted", state.muted);
  put_bool_if_differs(doc, m, "deafened", state.deafened);
  put_bool_if_differs(doc, m, "audio_only", state.audio_only);
}

std::optional<WorkspaceRecord> read_workspace(const crdt::Document& doc, std::string_view id) {
  auto m = find_entity(doc, kWorkspaces, id);
  if (!m) return std::nullopt;
  return workspace_from(doc, *m, std::string(id));
}

std::optional<CategoryRecord> read_category(const crdt::Document& doc, std::string_view id) {
  auto m = find_entity(doc, kCategories, id);
  if (!m) return std::nullopt;
  return category_from(doc, *m, std::string(id));
}

std::optional<ChannelRecord> read_channel(const crdt::Document& doc, std::string_view id) {
  auto m = find_entity(doc, kChannels, id);
  if (!m) return std::nullopt;
  return channel_from(doc, *m, std::string(id));
}

std::optional<UserRecord> read_user(const crdt::Document& doc, std::string_view id) {
  auto m = find_entity(doc, kUsers, id);
  if (!m) return std::nullopt;
  return user_from(doc, *m, std::string(id));
}

std::vector<WorkspaceRecord> read_workspaces(const crdt::Document& doc) {
  return read_all<WorkspaceRecord>(doc, kWorkspaces, workspace_from);
}

std::vector<CategoryRecord> read_categories(const crdt::Document& doc) {
  return read_all<CategoryRecord>(doc, kCategories, category_from);
}

std::vector<ChannelRecord> read_channels(const crdt::Document& doc) {
  return read_all<ChannelRecord>(doc, kChannels, channel_from);
}

std::vector<UserRecord> read_users(const crdt::Document& doc) {
  return read_all<UserRecord>(doc, kUsers, user_from);
}

std::vector<CallMemberRecord> read_call_members(const crdt::Document& doc,
                                                std::string_view channel) {
  std::vector<CallMemberRecord> out;
  auto members = find_entity(doc, kVoice, channel);
  if (!members) return out;
  for (std::string& user : doc.keys(*members)) {
    auto m = get_map(doc, *members, user);
    if (!m) continue;
    CallMemberRecord rec;
    rec.ticket = read_str(doc, *m, "ticket");
    rec.talking = bool_or_false(doc, *m, "talking");
    rec.muted = bool_or_false(doc, *m, "muted");
    rec.deafened = bool_or_false(doc, *m, "deafened");
    rec.audio_only = bool_or_false(doc, *m, "audio_only");
    rec.sharing = bool_or_false(doc, *m, "sharing");
    rec.user = std::move(user);
    out.push_back(std::move(rec));
  }
  return out;
}

std::int64_t read_mark(const crdt::Document& doc, std::string_view user, std::string_view channel) {
  auto marks = find_entity(doc, kRead, user);
  if (!marks) return 0;
  return int_or_zero(doc, *marks, channel);
}

}  // namespace chat::document
