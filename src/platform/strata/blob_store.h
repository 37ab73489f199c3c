// The content store: blobs of bytes named by their SHA-256 content id. One store is installed
// for the whole process with set_store and shared by reference count; the free functions below
// reach it from any thread (imports call them from worker threads). Without an installed store
// every operation reports failure or absence.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/base/result.h"
#include "platform/strata/content_id.h"
#include "platform/strata/hashed_bytes.h"
#include "platform/strata/sniff.h"

namespace strata::blobstore {

// Numeric values are stable: views choose placeholder texts by them.
enum class BlobState : std::uint8_t {
  Present = 0,      // stored and not known to be damaged
  Pending = 1,      // being written by this process right now
  Unavailable = 2,  // not stored, found corrupt on read, or not a valid id
};

struct EvictReport {
  std::uint64_t blobs_removed = 0;
  std::uint64_t bytes_removed = 0;
  std::uint64_t temp_files_removed = 0;
  bool complete = true;  // false when the pass stopped at the store's scan limit
};

// Operations every store provides. Implementations are thread-safe.
class BlobStore {
 public:
  virtual ~BlobStore() = default;

  // The bytes stored under `id`; absent when nothing is stored there. An invalid id, a blob
  // whose bytes no longer hash to its id, or a read failure is an error, never data.
  virtual zarn::Result<std::optional<Bytes>> get(std::string_view id) const = 0;
  // Stores the bytes and returns their content id; storing the same bytes twice is harmless.
  virtual zarn::Result<std::string> put(ByteView bytes) = 0;
  // As put, but only when the bytes hash to `expected_id` (bytes that arrived under a name).
  virtual zarn::Result<std::string> put_checked(std::string_view expected_id, ByteView bytes) = 0;
  // As put, for bytes this module has hashed already: stored under blob.id() without hashing
  // them again. The default goes through put_checked.
  virtual zarn::Result<std::string> put_hashed(const HashedBytes& blob);
  // Whether the blob stored under blob.id() holds exactly blob's bytes (false when it is absent
  // or differs). Equal to bytes known to hash to that id is what get's re-hash would prove, so
  // stores compare instead of hashing. The default goes through get.
  virtual zarn::Result<bool> matches(const HashedBytes& blob) const;
  // Removes stored blobs not named in `referenced` whose files are at least `min_age` old,
  // and temporary files of interrupted writes of that age.
  virtual zarn::Result<EvictReport> evict_unreferenced(
      const std::unordered_set<std::string>& referenced, std::chrono::seconds min_age) = 0;
  // Cheap presence check (does not re-read the bytes; get verifies them).
  virtual bool has(std::string_view id) const = 0;
  virtual BlobState state(std::string_view id) const = 0;
};

// Installs the process-wide store (replacing any earlier one; callers holding the old one keep
// it alive until they let go). Passing null uninstalls.
void set_store(std::shared_ptr<BlobStore> store);
// A handle to the installed store, for workers that outlive the call that started them.
std::shared_ptr<BlobStore> store();

// Blobs younger than this survive eviction, so bytes stored moments before their reference is
// written (an import in flight) are not lost.
inline constexpr std::chrono::seconds kDefaultEvictMinAge{600};

zarn::Result<std::string> put(ByteView bytes);
zarn::Result<std::string> put_checked(std::string_view expected_id, ByteView bytes);
zarn::Result<std::string> put_hashed(const HashedBytes& blob);
zarn::Result<std::optional<Bytes>> get(std::string_view id);
zarn::Result<bool> matches(const HashedBytes& blob);
bool has(std::string_view id);
zarn::Result<EvictReport> evict_unreferenced(const std::unordered_set<std::string>& referenced,
                                             std::chrono::seconds min_age = kDefaultEvictMinAge);
BlobState state(std::string_view id);
// sniff(ByteView) is declared in sniff.h and needs no store.

}  // namespace strata::blobstore
