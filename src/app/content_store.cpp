#include "app/content_store.h"

namespace chat::app {

std::shared_ptr<strata::blobstore::FsBlobStore> make_content_store(std::filesystem::path root) {
  return std::make_shared<strata::blobstore::FsBlobStore>(
      std::move(root), kStoreMaxBlobBytes, kStoreMaxTotalBytes, kStoreMaxBlobs,
      kStoreMaxScanEntries, strata::blobstore::FsBlobStore::Bookkeeping{});
}

void install_content_store() {
  strata::blobstore::set_store(make_content_store(strata::blobstore::FsBlobStore::default_root()));
}

}  // namespace chat::app
