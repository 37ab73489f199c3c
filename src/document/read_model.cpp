#include "document/read_model.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <unordered_set>
#include <utility>

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

std::vector<Person> people_of_workspace(const ReadModel& model, const ReadModelInputs& in,
                                        const std::unordered_set<std::string>& ws_channels) {
  std::unordered_set<std::string_view> ids;
  ids.insert(in.local.id);
  for (const auto& id : in.self_ids) ids.insert(id);
  for (const auto& m : model.all_messages) {
    if (!ws_channels.contains(m.channel)) continue;
    ids.insert(m.author);
    for (const auto& mention : m.mentions) ids.insert(mention.user);
  }
  for (const auto& call : model.calls) {
    for (const auto& member : call.members) ids.insert(member.user);
  }

  std::vector<Person> people;
  bool has_local = false;
  for (const auto& u : model.users) {
    if (!ids.contains(u.id)) continue;
    has_local = has_local || u.id == in.local.id;
    people.push_back(u);
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
         self_ids == o.self_ids;
}

std::uint32_t unread_count(std::size_t top_level, std::int64_t read_mark) {
  const auto total = static_cast<std::int64_t>(std::min<std::size_t>(top_level, INT64_MAX));
  if (read_mark >= total) return 0;
  // Modular arithmetic keeps the low 32 bits exact even for absurd negative marks.
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(total) -
                                    static_cast<std::uint64_t>(read_mark));
}

ReadModel rebuild_read_model(const crdt::Document& doc, const ReadModelInputs& in) {
  ReadModel model;
  model.workspaces = project_workspaces(doc);
  model.channels = project_channels(doc);
  model.categories = project_categories(doc);

  model.context_workspace = repair_context_workspace(model.workspaces, in.selection);
  model.current_channel = repair_current_channel(model.channels, in.selection);

  // Each channel's list is read once and serves all messages, unread counts and people.
  std::size_t current_begin = 0;
  std::size_t current_end = 0;
  for (auto& channel : model.channels) {
    auto messages = to_messages(read_messages(doc, channel.id), channel.id);
    if (channel.id == model.current_channel) {
      current_begin = model.all_messages.size();
      current_end = current_begin + messages.size();
    } else {
      const auto top_level = static_cast<std::size_t>(std::count_if(
          messages.begin(), messages.end(), [](const Message& m) { return !m.parent; }));
      channel.unread = unread_count(top_level, read_mark(doc, in.local.id, channel.id));
    }
    std::move(messages.begin(), messages.end(), std::back_inserter(model.all_messages));
  }
  if (find_channel(model.channels, model.current_channel) != nullptr) {
    model.messages.assign(model.all_messages.begin() + static_cast<std::ptrdiff_t>(current_begin),
                          model.all_messages.begin() + static_cast<std::ptrdiff_t>(current_end));
  } else {
    // A current id that names no channel may still have a stray list under "messages".
    model.messages = to_messages(read_messages(doc, model.current_channel), model.current_channel);
  }

  model.users = read_users(doc);

  const std::string& selected = in.selection.selected_workspace;
  std::unordered_set<std::string> ws_channels;
  for (const auto& channel : model.channels) {
    if (channel.workspace != selected) continue;
    ws_channels.insert(channel.id);
    if (!channel.voice) continue;
    auto members = read_call_members(doc, channel.id);
    if (members.empty()) continue;
    std::stable_sort(members.begin(), members.end(), [](const CallMember& a, const CallMember& b) {
      return a.talking > b.talking;
    });
    model.calls.push_back(VoiceCall{channel.id, std::move(members)});
  }

  model.people = people_of_workspace(model, in, ws_channels);

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
