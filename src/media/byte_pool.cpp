#include "media/byte_pool.h"

#include <cassert>

namespace chat::media {

struct SharedBytes::Node {
  std::atomic<std::uint32_t> refs{1};
  std::vector<std::uint8_t> bytes;
  std::shared_ptr<BytePool::Core> pool;  // set only while on loan
};

struct BytePool::Core {
  explicit Core(std::size_t keep) : idle(keep) {}
  ~Core() {
    std::vector<SharedBytes::Node*> left;
    idle.take(left, idle.capacity());
    for (auto* node : left) delete node;
  }
  BoundedQueue<SharedBytes::Node*> idle;
};

SharedBytes::SharedBytes(const SharedBytes& other) noexcept : node_(other.node_) {
  if (node_) node_->refs.fetch_add(1, std::memory_order_relaxed);
}

SharedBytes& SharedBytes::operator=(const SharedBytes& other) noexcept {
  if (this != &other) {
    SharedBytes copy(other);
    *this = std::move(copy);
  }
  return *this;
}

SharedBytes& SharedBytes::operator=(SharedBytes&& other) noexcept {
  if (this != &other) {
    reset();
    node_ = std::exchange(other.node_, nullptr);
  }
  return *this;
}

std::span<const std::uint8_t> SharedBytes::bytes() const {
  if (!node_) return {};
  return node_->bytes;
}

std::vector<std::uint8_t>& SharedBytes::mutable_bytes() {
  assert(node_ && node_->refs.load(std::memory_order_relaxed) == 1);
  return node_->bytes;
}

void SharedBytes::reset() noexcept {
  Node* node = std::exchange(node_, nullptr);
  if (!node || node->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  // Last holder. The pool reference leaves the node before the node is offered, because the
  // acquiring thread may take it again at once; `pool` may be the last reference to the core,
  // whose destructor then frees the node along with the other idle ones.
  auto pool = std::move(node->pool);
  if (!pool || pool->idle.try_push(node) != Offer::Accepted) delete node;
}

BytePool::BytePool(std::size_t keep) : core_(std::make_shared<Core>(keep)) {}

BytePool::~BytePool() = default;

SharedBytes BytePool::acquire() {
  SharedBytes::Node* node = nullptr;
  if (auto pop = core_->idle.pop(); pop.item) node = *pop.item;
  if (!node) node = new SharedBytes::Node();
  node->refs.store(1, std::memory_order_relaxed);
  node->bytes.clear();
  node->pool = core_;
  return SharedBytes(node);
}

std::size_t BytePool::idle() const {
  return core_->idle.size();
}

}  // namespace chat::media
