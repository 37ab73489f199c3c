// Helpers for the attachment tests: a content store kept in memory that can hold back, lose or
// alter what it stores, a waker the workers signal, and small file builders.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>

#include "platform/strata/blob_store.h"

namespace chat::attachments::testing {

namespace blobstore = strata::blobstore;

class MemoryStore final : public blobstore::BlobStore {
 public:
  enum class Fault { None, Lose, Alter, BadId, Refuse };

  explicit MemoryStore(Fault fault = Fault::None) : fault_(fault) {}

  // put() waits until release() is called.
  void hold() { held_ = true; }
  void release() {
    if (held_ && !released_) {
      released_ = true;
      gate_.set_value();
    }
  }

  zarn::Result<std::optional<blobstore::Bytes>> get(std::string_view id) const override {
    std::lock_guard lock(mu_);
    auto it = blobs_.find(std::string(id));
    if (it == blobs_.end() || fault_ == Fault::Lose) return std::optional<blobstore::Bytes>();
    blobstore::Bytes b = it->second;
    if (fault_ == Fault::Alter) b[0] ^= 0xFF;
    return std::optional<blobstore::Bytes>(std::move(b));
  }
  zarn::Result<std::string> put(blobstore::ByteView bytes) override {
    if (held_) gate_future_.wait();
    if (fault_ == Fault::Refuse) return zarn::make_error("full");
    std::string id = blobstore::content_id_of(bytes);
    {
      std::lock_guard lock(mu_);
      blobs_[id] = blobstore::Bytes(bytes.begin(), bytes.end());
    }
    if (fault_ == Fault::BadId) return std::string("not-an-id");
    return id;
  }
  zarn::Result<std::string> put_checked(std::string_view, blobstore::ByteView bytes) override {
    return put(bytes);
  }
  zarn::Result<blobstore::EvictReport> evict_unreferenced(const std::unordered_set<std::string>&,
                                                          std::chrono::seconds) override {
    return blobstore::EvictReport{};
  }
  std::size_t size() const {
    std::lock_guard lock(mu_);
    return blobs_.size();
  }
  bool has(std::string_view id) const override {
    std::lock_guard lock(mu_);
    return blobs_.count(std::string(id)) != 0;
  }
  blobstore::BlobState state(std::string_view id) const override {
    return has(id) ? blobstore::BlobState::Present : blobstore::BlobState::Unavailable;
  }

 private:
  const Fault fault_;
  mutable std::mutex mu_;
  std::map<std::string, blobstore::Bytes> blobs_;
  bool held_ = false;
  bool released_ = false;
  std::promise<void> gate_;
  std::shared_future<void> gate_future_ = gate_.get_future().share();
};

// Counts wake-ups from the workers; tests wait for a number of them.
class Waker {
 public:
  std::function<void()> callback() {
    return [this] {
      std::lock_guard lock(mu_);
      ++count_;
      cv_.notify_all();
    };
  }
  // True once `n` wake-ups happened in total; gives up after a generous while so a lost
  // wake-up fails the test instead of hanging it.
  bool wait_for(int n) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, std::chrono::seconds(60), [&] { return count_ >= n; });
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  int count_ = 0;
};

inline blobstore::Bytes bytes_of(std::string_view s) {
  return blobstore::Bytes(s.begin(), s.end());
}

// The header of a PNG picture of the given size: all the sniffer looks at.
inline std::string png_header(std::uint32_t w, std::uint32_t h) {
  std::string s("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (std::uint32_t v : {w, h}) {
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xFF);
  }
  s += std::string("\x08\x06\0\0\0", 5);
  return s;
}

inline void write_bytes(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A file of `size` zero bytes, without writing them.
inline void write_sparse(const std::filesystem::path& p, std::uintmax_t size) {
  write_bytes(p, "");
  std::filesystem::resize_file(p, size);
}

}  // namespace chat::attachments::testing
