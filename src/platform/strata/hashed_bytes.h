// HashedBytes: a blob's bytes together with their content id, computed by this module as the
// bytes were added and never changed afterwards, so the id cannot disagree with the bytes and a
// store may take it without hashing them again. HashedBytesWriter fills one buffer piece by
// piece (straight from read(2), say) and hashes each piece while it is still in the cache.
// Each object belongs to one thread at a time; a finished HashedBytes may be read from any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/strata/content_id.h"

namespace strata::blobstore {

class HashedBytes {
 public:
  // No bytes, named by the id of the empty blob.
  HashedBytes();
  // Copies and hashes `bytes`.
  static HashedBytes of(ByteView bytes);

  ByteView bytes() const { return {data_.get(), size_}; }
  std::size_t size() const { return size_; }
  const std::string& id() const { return id_; }

 private:
  friend class HashedBytesWriter;
  HashedBytes(std::unique_ptr<std::uint8_t[]> data, std::size_t size, std::string id);

  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_ = 0;
  std::string id_;
};

class HashedBytesWriter {
 public:
  // Room for `capacity` bytes up front; the buffer never grows past `limit` bytes. Allocation
  // failure throws std::bad_alloc, as it does for any container.
  HashedBytesWriter(std::size_t capacity, std::size_t limit);

  // Free space after the bytes written so far, at most `most` bytes long, for the caller to fill
  // and then commit. Grows the buffer when it is full; empty once `limit` bytes are written.
  std::span<std::uint8_t> space(std::size_t most);
  // Takes the first `n` bytes of the span the last space() gave as written, and hashes them.
  void commit(std::size_t n);

  std::size_t size() const { return size_; }
  // The bytes written and their id. The writer is empty afterwards.
  HashedBytes finish();

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::size_t offered_ = 0;  // length of the span the last space() gave
  std::size_t limit_;
  ContentHasher hasher_;
};

}  // namespace strata::blobstore
