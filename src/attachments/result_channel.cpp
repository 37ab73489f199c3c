#include "attachments/result_channel.h"

#include <cassert>
#include <utility>

namespace chat::attachments {

ResultChannel::ResultChannel(std::size_t capacity, std::function<void()> wake)
    : capacity_(capacity), wake_(std::move(wake)) {
  items_.reserve(capacity_);
}

bool ResultChannel::reserve() {
  std::lock_guard lock(mu_);
  if (items_.size() + reserved_ >= capacity_) return false;
  ++reserved_;
  return true;
}

void ResultChannel::deliver(WorkerResult result) {
  {
    std::lock_guard lock(mu_);
    assert(reserved_ > 0 && "deliver() without reserve()");
    if (reserved_ > 0) --reserved_;
    items_.push_back(std::move(result));
  }
  if (wake_) wake_();
}

bool ResultChannel::offer(WorkerResult result) {
  {
    std::lock_guard lock(mu_);
    if (items_.size() + reserved_ >= capacity_) return false;
    items_.push_back(std::move(result));
  }
  if (wake_) wake_();
  return true;
}

std::vector<WorkerResult> ResultChannel::take_all() {
  std::vector<WorkerResult> out;
  out.reserve(capacity_);
  {
    std::lock_guard lock(mu_);
    out.swap(items_);
  }
  return out;
}

std::size_t ResultChannel::queued() const {
  std::lock_guard lock(mu_);
  return items_.size();
}

}  // namespace chat::attachments
