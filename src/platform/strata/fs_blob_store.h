// FsBlobStore: the content store kept as one file per blob, named by its content id, in a flat
// root folder. Writes go to a temporary file in the same folder, are flushed to disk and then
// renamed into place, so a reader sees a whole blob or none; reads re-hash the bytes (or compare
// them with bytes known to hash to the id). Ids are checked before any path is built. Thread-safe;
// any thread (limits hold across threads of this process; other processes sharing the folder are
// only bounded by the next write's count).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <mutex>
#include <unordered_map>

#include "platform/strata/blob_store.h"

namespace strata::blobstore {

class FsBlobStore final : public BlobStore {
 public:
  // Identity of a file at the moment it was found damaged: a later, different file under the
  // same name is judged afresh.
  struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtime_ns = 0;
    bool operator==(const FileStamp&) const = default;
  };
  // Per-process state: writes in flight (counted against the limits before their bytes land)
  // and blobs whose bytes failed verification.
  struct Bookkeeping {
    std::unordered_map<std::string, int> writing;  // id -> puts in flight
    std::unordered_set<std::string> temp_files;    // our temporary files in flight
    std::uint64_t reserved_bytes = 0;
    std::uint64_t reserved_blobs = 0;
    std::unordered_map<std::string, FileStamp> corrupt;
  };

  // $XDG_DATA_HOME/strata/blobs, else ~/.local/share/strata/blobs; empty when neither resolves
  // (a store with an empty root refuses every write and finds nothing).
  static std::filesystem::path default_root();

  // max_blob_bytes:    the largest blob put accepts (and get reads).
  // max_total_bytes:   the most bytes all stored blobs may take together after a put.
  // max_blobs:         the most blobs the store holds after a put.
  // max_scan_entries:  the most folder entries (blobs, temporary and foreign files) one pass
  //                    reads; a folder holding more refuses puts until evicted, so a flooded
  //                    folder cannot stall a writer.
  FsBlobStore(std::filesystem::path root, std::uint64_t max_blob_bytes,
              std::uint64_t max_total_bytes, std::uint64_t max_blobs,
              std::uint64_t max_scan_entries, Bookkeeping bookkeeping);
  FsBlobStore(std::filesystem::path root, std::uint64_t max_blob_bytes,
              std::uint64_t max_total_bytes, std::uint64_t max_blobs,
              std::uint64_t max_scan_entries);

  zarn::Result<std::optional<Bytes>> get(std::string_view id) const override;
  zarn::Result<std::string> put(ByteView bytes) override;
  zarn::Result<std::string> put_checked(std::string_view expected_id, ByteView bytes) override;
  zarn::Result<std::string> put_hashed(const HashedBytes& blob) override;
  zarn::Result<bool> matches(const HashedBytes& blob) const override;
  zarn::Result<EvictReport> evict_unreferenced(const std::unordered_set<std::string>& referenced,
                                               std::chrono::seconds min_age) override;
  bool has(std::string_view id) const override;
  BlobState state(std::string_view id) const override;

  const std::filesystem::path& root() const { return root_; }

 private:
  struct Usage {
    std::uint64_t blobs = 0;
    std::uint64_t bytes = 0;
    bool complete = true;
  };

  zarn::Result<std::string> store_bytes(const std::string& id, ByteView bytes);
  zarn::Result<Usage> usage(const std::string& except_id) const;
  void release_locked(const std::string& id, std::uint64_t bytes, const std::string& temp_name);
  bool marked_corrupt_locked(const std::string& id, const FileStamp& stamp) const;

  std::filesystem::path root_;
  std::uint64_t max_blob_bytes_;
  std::uint64_t max_total_bytes_;
  std::uint64_t max_blobs_;
  std::uint64_t max_scan_entries_;
  // Writers (admission with its folder scan, the final rename, eviction passes) take
  // write_mu_ and may do file-system work under it; mu_ guards book_ only, never across I/O,
  // so the cheap checks a view makes every frame never wait for a folder scan.
  std::mutex write_mu_;
  mutable std::mutex mu_;
  mutable Bookkeeping book_;
};

}  // namespace strata::blobstore
