// The read model: plain lists projected from the workspace document for the views, with the
// context-workspace and current-channel repairs applied. A rebuild reads every entity but only
// the current channel's messages in full (every channel's on request); ReadModelCache skips it
// while the committed heads and every other input stay the same, and always yields what a full
// rebuild would. UI thread only (it reads the document).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/records.h"
#include "document/upkeep.h"
#include "platform/crdt/document.h"

namespace chat::document {

struct Workspace {
  std::string id;
  std::string name;
  std::string glyph;
  std::int64_t color_idx = 0;
  std::uint32_t order = 0;  // the stored int's low 32 bits
  bool operator==(const Workspace&) const = default;
};

struct Category {
  std::string id;
  std::string workspace;
  std::string name;
  std::uint32_t order = 0;
  bool collapsed = false;
  bool operator==(const Category&) const = default;
};

struct Channel {
  std::string id;
  std::string workspace;
  std::string category;
  std::string name;
  std::string topic;
  std::uint32_t order = 0;
  std::uint32_t unread = 0;
  bool voice = false;
  bool archived = false;
  bool operator==(const Channel&) const = default;
};

using Person = UserRecord;
using CallMember = CallMemberRecord;

struct Message : MessageRecord {
  std::string channel;
  bool operator==(const Message&) const = default;
};

// The members of one voice channel, talking members first, then by ascending user id.
struct VoiceCall {
  std::string channel;
  std::vector<CallMember> members;
  bool operator==(const VoiceCall&) const = default;
};

// What a composer should show; the application copies `text` into its input only when the
// input holds something else, so a caret is not disturbed by an unchanged draft.
struct ComposerText {
  std::string text;
  std::string placeholder;
  std::string author;  // empty for the thread composer
  bool operator==(const ComposerText&) const = default;
};

// Selection state owned by the application object. A new one starts on the demonstration
// content's workspace and channel; the rebuild moves it to entities that exist.
struct Selection {
  std::string selected_workspace = "ws_acme";
  std::string context_workspace = "ws_acme";
  std::string current_channel = "c_crit";
  std::optional<std::string> open_thread;  // root message id
  bool operator==(const Selection&) const = default;
};

// Whether a rebuild fills ReadModel::all_messages. Reading every message in full costs far more
// than the rest of a rebuild, and only the search catalogue needs them, so the per-frame
// rebuild skips them and the catalogue reads them on demand (read_all_messages).
enum class AllMessages : std::uint8_t { Read, Skip };

// Everything besides the document that a rebuild reads.
struct ReadModelInputs {
  Selection selection;
  LocalUser local;
  // Further ids that count as the local user (a presence self id, for example).
  std::vector<std::string> self_ids;
  AllMessages all_messages = AllMessages::Read;
  bool operator==(const ReadModelInputs& other) const;
};

struct ReadModel {
  std::vector<Workspace> workspaces;  // by order, ties by id
  std::vector<Channel> channels;      // all workspaces, one list by order, ties by id
  std::vector<Category> categories;   // by order, ties by id
  std::vector<Message> messages;      // the current channel's, in posting order
  // Channel-list order, then posting order; empty when the inputs skip it.
  std::vector<Message> all_messages;
  std::vector<Person> users;     // key order
  std::vector<Person> people;    // of the selected workspace, by name then id
  std::vector<VoiceCall> calls;  // selected workspace's voice channels with members
  // The selection after the repairs; the application adopts these two ids.
  std::string context_workspace;
  std::string current_channel;
  ComposerText main_composer;
  ComposerText thread_composer;
  bool operator==(const ReadModel&) const = default;
};

ReadModel rebuild_read_model(const crdt::Document& doc, const ReadModelInputs& inputs);

// Every message of the given channels in full, channels in the given order, each in posting
// order: given a model's channels, what a rebuild puts into all_messages.
std::vector<Message> read_all_messages(const crdt::Document& doc,
                                       const std::vector<Channel>& channels);

// Top-level messages minus the read mark, floored at 0 and truncated to 32 bits.
std::uint32_t unread_count(std::size_t top_level, std::int64_t read_mark);

// Reuses the last model while the document's committed heads and the inputs are unchanged and
// nothing is pending; otherwise rebuilds in full.
class ReadModelCache {
 public:
  const ReadModel& rebuild(const crdt::Document& doc, const ReadModelInputs& inputs);
  // Whether the last rebuild() reused the previous model.
  bool last_was_reused() const { return last_reused_; }
  void invalidate() { key_.reset(); }

 private:
  struct Key {
    std::vector<crdt::ChangeHash> heads;
    ReadModelInputs inputs;
    bool operator==(const Key&) const = default;
  };
  std::optional<Key> key_;
  ReadModel model_;
  bool last_reused_ = false;
};

}  // namespace chat::document
