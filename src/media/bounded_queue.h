// BoundedQueue: the only meeting point between the UI thread and the media workers. Capacity is
// fixed; offers never wait (a full queue refuses, a closed one reports it). Either side may close
// it. A consumer that found it empty may arm a waker, run after the next accepted offer.
// Thread-safe; the lock is never held while calling out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace chat::media {

enum class Offer { Accepted, Full, Closed };

template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity) : capacity_(capacity) {}

  Offer try_push(T value) {
    std::function<void()> wake;
    {
      std::lock_guard lock(mu_);
      if (closed_) return Offer::Closed;
      if (items_.size() >= capacity_) return Offer::Full;
      items_.push_back(std::move(value));
      wake = std::exchange(waker_, nullptr);
    }
    if (wake) wake();
    return Offer::Accepted;
  }

  // Moves at most `max` items, oldest first, into `out`.
  std::size_t take(std::vector<T>& out, std::size_t max) {
    std::lock_guard lock(mu_);
    const std::size_t n = std::min(max, items_.size());
    for (std::size_t i = 0; i < n; ++i) {
      out.push_back(std::move(items_.front()));
      items_.pop_front();
    }
    return n;
  }

  struct Pop {
    std::optional<T> item;
    bool closed = false;
  };

  // Takes the oldest item. When there is none and the queue is open, `waker` is kept and run
  // once after the next accepted offer; when it is closed, `closed` is set.
  Pop pop_or_arm(std::function<void()> waker) {
    std::lock_guard lock(mu_);
    if (!items_.empty()) {
      Pop pop{std::move(items_.front()), false};
      items_.pop_front();
      return pop;
    }
    if (closed_) return {std::nullopt, true};
    waker_ = std::move(waker);
    return {};
  }

  // Refuses every later offer; items already queued can still be taken. Runs an armed waker so
  // that a waiting consumer notices.
  void close() {
    std::function<void()> wake;
    {
      std::lock_guard lock(mu_);
      if (closed_) return;
      closed_ = true;
      wake = std::exchange(waker_, nullptr);
    }
    if (wake) wake();
  }

  bool closed() const {
    std::lock_guard lock(mu_);
    return closed_;
  }

  std::size_t size() const {
    std::lock_guard lock(mu_);
    return items_.size();
  }

  std::size_t capacity() const { return capacity_; }

 private:
  const std::size_t capacity_;
  mutable std::mutex mu_;
  std::deque<T> items_;
  std::function<void()> waker_;
  bool closed_ = false;
};

}  // namespace chat::media
