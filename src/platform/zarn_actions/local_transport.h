// The framework's in-process transport: every dispatched action that changed the document is
// queued with the encoded changes it made, for whatever syncs this replica with its peers.
// The queue is bounded; when full the oldest entry is dropped (peers catch up from the
// document's own history), so replicate never blocks. UI thread (the document's owner).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/base/result.h"
#include "platform/crdt/document.h"
#include "platform/zarn_actions/action_registry.h"

namespace zarn_actions {

// One replicated action: what was dispatched, by which actor, and the changes it made.
struct Replication {
  EncodedAction action;
  crdt::Bytes actor;
  std::vector<crdt::ChangeHash> heads;  // the document's heads after the change
  crdt::Bytes changes;                  // as from crdt::Document::changes_since
  std::string context_json;             // empty without a dispatch context
};

class LocalTransport {
 public:
  static constexpr std::size_t kDefaultCapacity = 256;
  explicit LocalTransport(std::size_t capacity = kDefaultCapacity);

  // Queues one replication; refuses an entry without changes.
  zarn::Result<void> replicate(Replication entry);
  // Takes every queued entry, oldest first.
  std::vector<Replication> drain();

  std::size_t queued() const { return queue_.size(); }
  std::uint64_t replicated() const { return replicated_; }
  std::uint64_t dropped() const { return dropped_; }

 private:
  std::size_t capacity_;
  std::deque<Replication> queue_;
  std::uint64_t replicated_ = 0;
  std::uint64_t dropped_ = 0;
};

}  // namespace zarn_actions
