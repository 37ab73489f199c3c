#include "platform/strata/blob_store.h"

#include <algorithm>
#include <mutex>

namespace strata::blobstore {
namespace {

struct Installed {
  std::mutex mu;
  std::shared_ptr<BlobStore> store;
};

Installed& installed() {
  static Installed slot;
  return slot;
}

zarn::Error no_store() {
  return zarn::make_error("no content store is installed");
}

}  // namespace

zarn::Result<std::string> BlobStore::put_hashed(const HashedBytes& blob) {
  return put_checked(blob.id(), blob.bytes());
}

zarn::Result<bool> BlobStore::matches(const HashedBytes& blob) const {
  auto stored = get(blob.id());
  if (!stored) return std::move(stored).take_error();
  const ByteView want = blob.bytes();
  return stored->has_value() &&
         std::equal((*stored)->begin(), (*stored)->end(), want.begin(), want.end());
}

void set_store(std::shared_ptr<BlobStore> s) {
  auto& slot = installed();
  std::lock_guard lock(slot.mu);
  slot.store = std::move(s);
}

std::shared_ptr<BlobStore> store() {
  auto& slot = installed();
  std::lock_guard lock(slot.mu);
  return slot.store;
}

zarn::Result<std::string> put(ByteView bytes) {
  auto s = store();
  if (!s) return no_store();
  return s->put(bytes);
}

zarn::Result<std::string> put_checked(std::string_view expected_id, ByteView bytes) {
  auto s = store();
  if (!s) return no_store();
  return s->put_checked(expected_id, bytes);
}

zarn::Result<std::string> put_hashed(const HashedBytes& blob) {
  auto s = store();
  if (!s) return no_store();
  return s->put_hashed(blob);
}

zarn::Result<bool> matches(const HashedBytes& blob) {
  auto s = store();
  if (!s) return no_store();
  return s->matches(blob);
}

zarn::Result<std::optional<Bytes>> get(std::string_view id) {
  auto s = store();
  if (!s) return no_store();
  return s->get(id);
}

bool has(std::string_view id) {
  auto s = store();
  return s && s->has(id);
}

zarn::Result<EvictReport> evict_unreferenced(const std::unordered_set<std::string>& referenced,
                                             std::chrono::seconds min_age) {
  auto s = store();
  if (!s) return no_store();
  return s->evict_unreferenced(referenced, min_age);
}

BlobState state(std::string_view id) {
  auto s = store();
  return s ? s->state(id) : BlobState::Unavailable;
}

}  // namespace strata::blobstore
