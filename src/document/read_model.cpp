#include "document/read_model.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "document/access.h"
#include "document/entities.h"
#include "document/messages.h"

namespace chat::document {
namespace {

std::uint32_t low32(std::int64_t order) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(order));
}

template <typename T>
void sort_by_order(std::vector<T>& items) {
  std::stable_sort(items.begin(), items.end(),
                   [](const T& a, const T& b) { return a.order < b.order; });
}

std::vector<Workspace> project_workspaces(const crdt::Document& doc) {
  std::vector<Workspace> out;
  for (auto& w : read_workspaces(doc)) {
    out.push_back(Workspace{std::move(w.id), std::move(w.name), std::move(w.glyph), w.color_idx,
                            low32(w.order)});
  }
  sort_by_order(out);
  return out;
}

std::vector<Category> project_categories(const crdt::Document& doc) {
  std::vector<Category> out;
  for (auto& c : read_categories(doc)) {
    out.push_back(Category{std::move(c.id), std::move(c.workspace), std::move(c.name),
                           low32(c.order), c.collapsed});
  }
  sort_by_order(out);
  return out;
}

std::vector<Channel> project_channels(const crdt::Document& doc) {
  std::vector<Channel> out;
  for (auto& c : read_channels(doc)) {
    out.push_back(Channel{std::move(c.id), std::move(c.workspace), std::move(c.category),
                          std::move(c.name), std::move(c.topic), low32(c.order), 0,
                          c.kind == ChannelKind::Voice, c.archived});
  }
  sort_by_order(out);
  return out;
}

const Channel* find_channel(const std::vector<Channel>& channels, std::string_view id) {
  for (const auto& c : channels) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

bool has_workspace(const std::vector<Workspace>& workspaces, std::string_view id) {
  return std::any_of(workspaces.begin(), workspaces.end(),
                     [&](const Workspace& w) { return w.id == id; });
}

std::string repair_context_workspace(const std::vector<Workspace>& workspaces,
                                     const Selection& sel) {
  if (has_workspace(workspaces, sel.context_workspace)) return sel.context_workspace;
  if (has_workspace(workspaces, sel.selected_workspace)) return sel.selected_workspace;
  if (!workspaces.empty()) return workspaces.front().id;
  return sel.context_workspace;
}

std::string repair_current_channel(const std::vector<Channel>& channels, const Selection& sel) {
  const Channel* current = find_channel(channels, sel.current_channel);
  if (current != nullptr && current->workspace == sel.selected_workspace) {
    return sel.current_channel;
  }
  // The list is already stably sorted by order, so filtering it keeps that order.
  for (const auto& c : channels) {
    if (c.workspace == sel.selected_workspace && !c.archived && !c.voice) return c.id;
  }
  return sel.current_channel;
}

std::vector<Message> to_messages(std::vector<MessageRecord> records, const std::string& channel) {
  std::vector<Message> out;
  out.reserve(records.size());
  for (auto& r : records) {
    Message m;
    static_cast<MessageRecord&>(m) = std::move(r);
    m.channel = channel;
    out.push_back(std::move(m));
  }
  return out;
}

// Which user records the people of the workspace include. Only ids of user records matter, so
// once every user has been seen no further message can change the people, and the scan stops
// reading authors and mentions.
class PeopleIds {
 public:
  explicit PeopleIds(const std::vector<Person>& users)
      : seen_(users.size(), false), unseen_(users.size()) {
    index_.reserve(users.size());
    for (std::size_t i = 0; i < users.size(); ++i) index_.emplace(users[i].id, i);
  }
  void add(std::string_view id) {
    auto it = index_.find(id);
    if (it == index_.end() || seen_[it->second]) return;
    seen_[it->second] = true;
    --unseen_;
  }
  // A missing or non-string value reads as the empty id, as the message reader has it.
  void add(const std::string* id) { add(id ? std::string_view(*id) : std::string_view()); }
  bool complete() const { return unseen_ == 0; }
  bool seen(std::size_t user) const { return seen_[user]; }

 private:
  std::unordered_map<std::string_view, std::size_t> index_;  // user id -> position in users
  std::vector<bool> seen_;
  std::size_t unseen_;
};

// One pass over a channel's list that reads only what unread counts and people need: the
// number of top-level messages and, into `people` when given, every author and mentioned user.
std::size_t scan_channel(const crdt::Document& doc, const crdt::ObjId& list, PeopleIds* people) {
  std::size_t top_level = 0;
  doc.visit_list_maps(list, [&](const crdt::MapView& m) {
    const std::string* parent = m.str("parent");
    if (!parent || parent->empty()) ++top_level;
    if (!people || people->complete()) return;
    people->add(m.str("author"));
    m.visit_list_maps("mentions",
                      [&](const crdt::MapView& mention) { people->add(mention.str("user")); });
  });
  return top_level;
}

std::vector<Person> people_of_workspace(const ReadModel& model, const ReadModelInputs& in,
                                        const PeopleIds& ids) {
  std::vector<Person> people;
  bool has_local = false;
  for (std::size_t i = 0; i < model.users.size(); ++i) {
    if (!ids.seen(i)) continue;
    has_local = has_local || model.users[i].id == in.local.id;
    people.push_back(model.users[i]);
  }
  if (!has_local) {
    people.push_back(Person{in.local.id, in.local.name, in.local.initials, in.local.color_idx,
                            Presence::Online, false});
  }
  if (people.size() >= 2) {
    std::stable_sort(people.begin(), people.end(), [](const Person& a, const Person& b) {
      if (a.name != b.name) return a.name < b.name;
      return a.id < b.id;
    });
  }
  return people;
}

}  // namespace

bool ReadModelInputs::operator==(const ReadModelInputs& o) const {
  return selection == o.selection && local.id == o.local.id && local.name == o.local.name &&
         local.initials == o.local.initials && local.color_idx == o.local.color_idx &&
         self_ids == o.self_ids && all_messages == o.all_messages;
}

std::uint32_t unread_count(std::size_t top_level, std::int64_t read_mark) {
  const auto total = static_cast<std::int64_t>(std::min<std::size_t>(top_level, INT64_MAX));
  if (read_mark >= total) return 0;
  // Modular arithmetic keeps the low 32 bits exact even for absurd negative marks.
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(total) -
                                    static_cast<std::uint64_t>(read_mark));
}

std::vector<Message> read_all_messages(const crdt::Document& doc,
                                       const std::vector<Channel>& channels) {
  std::vector<Message> out;
  const auto root = get_map(doc, crdt::ObjId::root(), kMessages);
  if (!root) return out;
  std::size_t total = 0;
  for (const auto& channel : channels) {
    if (auto list = get_list(doc, *root, channel.id)) total += doc.length(*list);
  }
  out.reserve(total);
  for (const auto& channel : channels) {
    for (auto& r : read_messages(doc, channel.id)) {
      Message m;
      static_cast<MessageRecord&>(m) = std::move(r);
      m.channel = channel.id;
      out.push_back(std::move(m));
    }
  }
  return out;
}

ReadModel rebuild_read_model(const crdt::Document& doc, const ReadModelInputs& in) {
  ReadModel model;
  model.workspaces = project_workspaces(doc);
  model.channels = project_channels(doc);
  model.categories = project_categories(doc);

  model.context_workspace = repair_context_workspace(model.workspaces, in.selection);
  model.current_channel = repair_current_channel(model.channels, in.selection);

  model.users = read_users(doc);
  const std::string& selected = in.selection.selected_workspace;
  for (const auto& channel : model.channels) {
    if (channel.workspace != selected || !channel.voice) continue;
    auto members = read_call_members(doc, channel.id);
    if (members.empty()) continue;
    std::stable_sort(members.begin(), members.end(), [](const CallMember& a, const CallMember& b) {
      return a.talking > b.talking;
    });
    model.calls.push_back(VoiceCall{channel.id, std::move(members)});
  }

  PeopleIds people(model.users);
  people.add(in.local.id);
  for (const auto& id : in.self_ids) people.add(id);
  for (const auto& call : model.calls) {
    for (const auto& member : call.members) people.add(member.user);
  }

  // Unread counts and people need only a few keys of each message; only the current channel
  // (and all messages, when asked for) is read in full.
  const auto root = get_map(doc, crdt::ObjId::root(), kMessages);
  for (auto& channel : model.channels) {
    const bool in_workspace = channel.workspace == selected;
    const bool current = channel.id == model.current_channel;
    if (current && !in_workspace) continue;
    std::size_t top_level = 0;
    if (auto list = root ? get_list(doc, *root, channel.id) : std::nullopt) {
      top_level = scan_channel(doc, *list, in_workspace ? &people : nullptr);
    }
    if (!current) channel.unread = unread_count(top_level, read_mark(doc, in.local.id, channel.id));
  }
  model.people = people_of_workspace(model, in, people);

  const bool current_listed = find_channel(model.channels, model.current_channel) != nullptr;
  if (in.all_messages == AllMessages::Read) {
    model.all_messages = read_all_messages(doc, model.channels);
  }
  if (in.all_messages == AllMessages::Read && current_listed) {
    std::copy_if(model.all_messages.begin(), model.all_messages.end(),
                 std::back_inserter(model.messages),
                 [&](const Message& m) { return m.channel == model.current_channel; });
  } else {
    // A current id that names no channel may still have a stray list under "messages".
    model.messages = to_messages(read_messages(doc, model.current_channel), model.current_channel);
  }

  const Channel* current = find_channel(model.channels, model.current_channel);
  model.main_composer.text = read_draft(doc, draft_key(model.current_channel));
  model.main_composer.placeholder = "Message #" + (current ? current->name : std::string());
  model.main_composer.author = in.local.id;
  if (in.selection.open_thread) {
    model.thread_composer.text =
        read_draft(doc, thread_draft_key(model.current_channel, *in.selection.open_thread));
  }
  model.thread_composer.placeholder = "Reply\u2026";
  return model;
}

const ReadModel& ReadModelCache::rebuild(const crdt::Document& doc, const ReadModelInputs& inputs) {
  // Uncommitted writes are visible to reads but not reflected in the heads.
  if (doc.pending_ops() != 0) {
    key_.reset();
    model_ = rebuild_read_model(doc, inputs);
    last_reused_ = false;
    return model_;
  }
  Key key{doc.heads(), inputs};
  if (key_ && *key_ == key) {
    last_reused_ = true;
    return model_;
  }
  model_ = rebuild_read_model(doc, inputs);
  key_ = std::move(key);
  last_reused_ = false;
  return model_;
}

}  // namespace chat::document
