#include "attachments/listing.h"

#include <sys/stat.h>

#include <algorithm>
#include <system_error>

#include "attachments/file_kind.h"
#include "compose/unicode_text.h"

namespace chat::attachments {
namespace {

namespace fs = std::filesystem;

std::uint64_t size_of(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0 || st.st_size < 0) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

ListingEntry entry_for(const fs::path& p) {
  ListingEntry e;
  e.path = p.native();
  e.name = display_name(p);
  e.size = size_of(p);
  e.video = kind_of_name(e.name) == FileKind::Video;
  return e;
}

// Walks `dir`; false when it could not be opened. Stops early once the limit is reached.
bool walk(const fs::path& dir, int depth, std::vector<ListingEntry>& out) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return false;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    if (out.size() >= kListingCollectLimit) return true;
    const fs::path& p = it->path();
    const fs::file_status own = it->symlink_status(ec);
    if (ec) {
      ec.clear();
      continue;
    }
    if (fs::is_directory(own)) {
      if (depth == 0) walk(p, depth + 1, out);
      continue;
    }
    // Links to folders are neither listed nor entered: they could lead out of the workspace or
    // round in a loop.
    if (fs::is_symlink(own) && fs::is_directory(fs::status(p, ec))) continue;
    ec.clear();
    out.push_back(entry_for(p));
  }
  return true;
}

}  // namespace

zarn::Result<std::vector<ListingEntry>> list_workspace(const std::filesystem::path& folder) {
  std::vector<ListingEntry> found;
  found.reserve(kListingCollectLimit);
  if (folder.empty() || !walk(folder, 0, found)) return zarn::make_error(kWorkspaceUnavailable);

  struct Keyed {
    std::string key;
    ListingEntry entry;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(found.size());
  for (auto& e : found) {
    auto lower = compose::lower_case(compose::valid_utf8(e.path));
    keyed.push_back({lower ? std::move(lower->text) : e.path, std::move(e)});
  }
  // Paths equal but for case fall back to their bytes, so the order never depends on the walk.
  const std::size_t keep = std::min(kListingKeep, keyed.size());
  std::partial_sort(keyed.begin(), keyed.begin() + static_cast<std::ptrdiff_t>(keep), keyed.end(),
                    [](const Keyed& a, const Keyed& b) {
                      if (a.key != b.key) return a.key < b.key;
                      return a.entry.path < b.entry.path;
                    });
  std::vector<ListingEntry> kept;
  kept.reserve(keep);
  for (std::size_t i = 0; i < keep; ++i) kept.push_back(std::move(keyed[i].entry));
  return kept;
}

}  // namespace chat::attachments
