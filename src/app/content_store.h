// The process-wide content store: a file-system blob store with the application's limits,
// installed once at start-up (before any worker thread exists) and shared by reference count
// with attachment imports and image loading. Main thread, during start-up.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/strata/fs_blob_store.h"

namespace chat::app {

inline constexpr std::uint64_t kStoreMaxBlobBytes = 33'554'432;    // 32 MiB, as imports allow
inline constexpr std::uint64_t kStoreMaxTotalBytes = 268'435'456;  // 256 MiB
inline constexpr std::uint64_t kStoreMaxBlobs = 8192;
inline constexpr std::uint64_t kStoreMaxScanEntries = 16384;

std::shared_ptr<strata::blobstore::FsBlobStore> make_content_store(std::filesystem::path root);

// Builds the store at FsBlobStore::default_root() and installs it with set_store.
void install_content_store();

}  // namespace chat::app
