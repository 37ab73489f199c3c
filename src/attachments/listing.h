// Listing the workspace folder for the attach popover: the folder's own entries and those of its
// direct subfolders (deeper folders and links to folders are skipped), at most 200 collected in
// the order the file system yields them, then the first 60 by lower-cased path. Blocking file
// I/O: call it from a worker thread, never the UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/result.h"

namespace chat::attachments {

inline constexpr std::size_t kListingCollectLimit = 200;
inline constexpr std::size_t kListingKeep = 60;
inline constexpr char kWorkspaceUnavailable[] = "workspace is unavailable";

struct ListingEntry {
  std::string path;        // as the file system spells it (bytes, not necessarily UTF-8)
  std::string name;        // last component, malformed UTF-8 replaced
  std::uint64_t size = 0;  // 0 when the file's metadata cannot be read
  bool video = false;
  bool operator==(const ListingEntry&) const = default;
};

// Fails with kWorkspaceUnavailable when the folder itself cannot be opened; an unreadable
// subfolder is skipped.
zarn::Result<std::vector<ListingEntry>> list_workspace(const std::filesystem::path& folder);

}  // namespace chat::attachments
