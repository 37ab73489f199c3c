// BoundedQueue: the only meeting point between the UI thread and the media workers. A fixed ring
// of slots, lock-free: any number of threads may offer, exactly one thread at a time consumes.
// Offers never wait (a full queue refuses the newest item, a closed one reports it) and the
// consumer never waits for a producer. Either side may close it. A consumer that found it empty
// may park; the next accepted offer (or the close) then runs the waker, on the offering thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace chat::media {

enum class Offer { Accepted, Full, Closed };

template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity)
      : capacity_(capacity), cells_(std::make_unique<Cell[]>(capacity)) {
    for (std::size_t i = 0; i < capacity_; ++i)
      cells_[i].seq.store(2 * i, std::memory_order_relaxed);
  }
  BoundedQueue(const BoundedQueue&) = delete;
  BoundedQueue& operator=(const BoundedQueue&) = delete;

  // Set once, before the first offer; it runs on whichever thread wakes the parked consumer and
  // must neither block nor touch the queue.
  void set_waker(std::function<void()> waker) { waker_ = std::move(waker); }

  // Any thread. Slots are claimed in order, so items come out in the order their offers won.
  Offer try_push(T value) {
    std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    for (;;) {
      if (tail & kClosedBit) return Offer::Closed;
      const std::uint64_t pos = tail >> 1;
      Cell& cell = cells_[pos % capacity_];
      const std::uint64_t seq = cell.seq.load(std::memory_order_acquire);
      if (seq == 2 * pos) {
        // The closed bit lives in the same word, so an offer either lands before close() or
        // reports Closed; nothing is accepted into a queue that was already closed.
        if (tail_.compare_exchange_weak(tail, tail + 2, std::memory_order_relaxed)) {
          cell.value = std::move(value);
          cell.seq.store(2 * pos + 1, std::memory_order_release);
          wake_if_parked();
          return Offer::Accepted;
        }
      } else if (static_cast<std::int64_t>(seq - 2 * pos) < 0) {
        return Offer::Full;  // the slot still holds the item from one lap earlier
      } else {
        tail = tail_.load(std::memory_order_relaxed);
      }
    }
  }

  // Consumer only. Moves at most `max` items, oldest first, into `out`.
  std::size_t take(std::vector<T>& out, std::size_t max) {
    std::size_t n = 0;
    while (n < max) {
      T* item = front();
      if (item == nullptr) break;
      out.push_back(std::move(*item));
      pop_front();
      ++n;
    }
    return n;
  }

  struct Pop {
    std::optional<T> item;
    bool closed = false;
  };

  // Consumer only. Takes the oldest item without parking; `closed` as for pop_or_park.
  Pop pop() {
    if (T* item = front()) {
      Pop out{std::move(*item), false};
      pop_front();
      return out;
    }
    // Closed and every claimed slot consumed: nothing can arrive any more. A slot claimed but not
    // yet filled keeps the queue open until its producer finishes (and wakes a parked consumer).
    const std::uint64_t tail = tail_.load(std::memory_order_acquire);
    const bool done = (tail & kClosedBit) && (tail >> 1) == head_.load(std::memory_order_relaxed);
    return {std::nullopt, done};
  }

  // Consumer only. Takes the oldest item. When there is none and the queue is open, the consumer
  // is parked: the waker runs once after the next accepted offer or the close. When the queue is
  // closed and empty, `closed` is set.
  Pop pop_or_park() {
    // A consumer that is looking is awake: offers need not wake it until it parks again.
    if (parked_.load(std::memory_order_relaxed)) parked_.store(false, std::memory_order_relaxed);
    if (auto first = pop(); first.item || first.closed) return first;
    parked_.store(true, std::memory_order_relaxed);
    // Pairs with the fence in wake_if_parked: either the producer sees the flag or this second
    // look sees its item.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    auto again = pop();
    if (again.item || again.closed) parked_.store(false, std::memory_order_relaxed);
    return again;
  }

  // Any thread. Refuses every later offer; items already queued can still be taken.
  void close() {
    if (tail_.fetch_or(kClosedBit, std::memory_order_acq_rel) & kClosedBit) return;
    wake_if_parked();
  }

  bool closed() const { return tail_.load(std::memory_order_acquire) & kClosedBit; }

  // Any thread; a snapshot that may already be stale.
  std::size_t size() const {
    const std::uint64_t head = head_.load(std::memory_order_acquire);
    const std::uint64_t tail = tail_.load(std::memory_order_acquire) >> 1;
    return static_cast<std::size_t>(tail - head);
  }

  std::size_t capacity() const { return capacity_; }

 private:
  static constexpr std::uint64_t kClosedBit = 1;

  // A cell's seq is 2p while it is free for the offer at position p and 2p + 1 once that offer
  // has filled it; the doubling keeps "full" and "free for the next lap" apart even when the
  // capacity is 1.
  struct Cell {
    std::atomic<std::uint64_t> seq{0};
    T value{};
  };

  T* front() {
    const std::uint64_t pos = head_.load(std::memory_order_relaxed);
    Cell& cell = cells_[pos % capacity_];
    if (cell.seq.load(std::memory_order_acquire) != 2 * pos + 1) return nullptr;
    return &cell.value;
  }

  void pop_front() {
    const std::uint64_t pos = head_.load(std::memory_order_relaxed);
    Cell& cell = cells_[pos % capacity_];
    cell.value = T{};  // the slot must not keep a moved-from item's resources alive
    cell.seq.store(2 * (pos + capacity_), std::memory_order_release);
    head_.store(pos + 1, std::memory_order_release);
  }

  void wake_if_parked() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!parked_.load(std::memory_order_relaxed)) return;
    if (parked_.exchange(false, std::memory_order_acq_rel) && waker_) waker_();
  }

  const std::size_t capacity_;
  std::unique_ptr<Cell[]> cells_;
  // (next position to claim << 1) | closed bit; shared by producers.
  alignas(64) std::atomic<std::uint64_t> tail_{0};
  // Next position to take; written by the consumer only.
  alignas(64) std::atomic<std::uint64_t> head_{0};
  std::atomic<bool> parked_{false};
  std::function<void()> waker_;
};

}  // namespace chat::media
