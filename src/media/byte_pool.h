// BytePool and SharedBytes: recycled buffers for encoded frames. The UI thread encodes each frame
// once into a buffer from the pool and hands the same immutable bytes to every peer queue; the
// last holder, on whatever thread, gives the buffer back. So send neither allocates nor frees in
// steady state, and no buffer is freed by a thread other than the one that allocated it.
// acquire() is for one thread at a time (the UI thread); SharedBytes may be copied, moved and
// dropped on any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "media/bounded_queue.h"

namespace chat::media {

class SharedBytes {
 public:
  SharedBytes() = default;
  SharedBytes(const SharedBytes& other) noexcept;
  SharedBytes(SharedBytes&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}
  SharedBytes& operator=(const SharedBytes& other) noexcept;
  SharedBytes& operator=(SharedBytes&& other) noexcept;
  ~SharedBytes() { reset(); }

  explicit operator bool() const { return node_ != nullptr; }
  std::span<const std::uint8_t> bytes() const;
  // For filling a freshly acquired buffer only: once copied, the bytes are shared and frozen.
  std::vector<std::uint8_t>& mutable_bytes();
  void reset() noexcept;

 private:
  friend class BytePool;
  struct Node;
  explicit SharedBytes(Node* node) : node_(node) {}
  Node* node_ = nullptr;
};

class BytePool {
 public:
  // Keeps at most `keep` idle buffers; more are freed when they come back.
  explicit BytePool(std::size_t keep);
  ~BytePool();
  BytePool(const BytePool&) = delete;
  BytePool& operator=(const BytePool&) = delete;

  // An empty buffer, reusing the capacity of an earlier one when one is idle.
  SharedBytes acquire();
  std::size_t idle() const;

  // Shared with every buffer out on loan, so late returns outlive the pool object.
  struct Core;

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace chat::media
