#include "platform/zarn_actions/local_transport.h"

#include <algorithm>

namespace zarn_actions {

LocalTransport::LocalTransport(std::size_t capacity)
    : capacity_(std::max<std::size_t>(1, capacity)) {}

zarn::Result<void> LocalTransport::replicate(Replication entry) {
  if (entry.changes.empty()) return zarn::make_error("nothing to replicate");
  if (queue_.size() == capacity_) {
    queue_.pop_front();
    ++dropped_;
  }
  queue_.push_back(std::move(entry));
  ++replicated_;
  return zarn::ok();
}

std::vector<Replication> LocalTransport::drain() {
  std::vector<Replication> out(std::make_move_iterator(queue_.begin()),
                               std::make_move_iterator(queue_.end()));
  queue_.clear();
  return out;
}

}  // namespace zarn_actions
