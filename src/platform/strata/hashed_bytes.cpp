#include "platform/strata/hashed_bytes.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

namespace strata::blobstore {

HashedBytes::HashedBytes() : id_(content_id_of({})) {}

HashedBytes::HashedBytes(std::unique_ptr<std::uint8_t[]> data, std::size_t size, std::string id)
    : data_(std::move(data)), size_(size), id_(std::move(id)) {}

HashedBytes HashedBytes::of(ByteView bytes) {
  HashedBytesWriter writer(bytes.size(), bytes.size());
  auto room = writer.space(bytes.size());
  if (!bytes.empty()) std::memcpy(room.data(), bytes.data(), bytes.size());
  writer.commit(bytes.size());
  return writer.finish();
}

HashedBytesWriter::HashedBytesWriter(std::size_t capacity, std::size_t limit)
    : capacity_(std::min(capacity, limit)), limit_(limit) {
  // Left uninitialised: every byte is written before it is committed, and zeroing 32 MiB first
  // would cost a pass over memory for nothing.
  if (capacity_ > 0) data_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity_);
}

std::span<std::uint8_t> HashedBytesWriter::space(std::size_t most) {
  if (size_ == capacity_ && capacity_ < limit_ && most > 0) {
    const std::size_t grown = std::min(limit_, std::max(capacity_ * 2, size_ + most));
    auto bigger = std::make_unique_for_overwrite<std::uint8_t[]>(grown);
    if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = grown;
  }
  offered_ = std::min(most, capacity_ - size_);
  return {data_.get() + size_, offered_};
}

void HashedBytesWriter::commit(std::size_t n) {
  assert(n <= offered_);
  hasher_.update({data_.get() + size_, n});
  size_ += n;
  offered_ = 0;
}

HashedBytes HashedBytesWriter::finish() {
  HashedBytes out(std::move(data_), size_, hasher_.finish());
  capacity_ = 0;
  size_ = 0;
  offered_ = 0;
  return out;
}

}  // namespace strata::blobstore
