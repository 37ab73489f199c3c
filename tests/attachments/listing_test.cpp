#include "attachments/listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "attachments/support.h"
#include "platform/strata/temp_dir.h"

namespace chat::attachments {
namespace {

namespace fs = std::filesystem;
using testing::write_bytes;

std::vector<std::string> paths_of(const std::vector<ListingEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(e.path);
  return out;
}

// The paths of the first `n` entries readdir yields for `dir` (which holds only files), sorted
// by ASCII-lower-cased path, first `keep` of them.
std::vector<std::string> expected_first(const fs::path& dir, std::size_t n, std::size_t keep) {
  std::vector<std::string> found;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return found;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (found.size() < n) found.push_back((dir / name).string());
  }
  ::closedir(d);
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::sort(found.begin(), found.end(), [&](const std::string& a, const std::string& b) {
    return lower(a) != lower(b) ? lower(a) < lower(b) : a < b;
  });
  found.resize(std::min(found.size(), keep));
  return found;
}

// Names alternate in case so that a plain byte sort would order them differently.
void fill(const fs::path& dir, int count) {
  fs::create_directories(dir);
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s_%03d.txt", i % 2 ? "Doc" : "doc", i);
    write_bytes(dir / name, "x");
  }
}

TEST(ListWorkspace, KeepsFirst60ByLowerCasePathAmongFirst200Found) {
  zarn_test::TempDir dir;
  fill(dir.path(), 300);
  auto listed = list_workspace(dir.path());
  ASSERT_TRUE(listed.has_value()) << listed.error();
  ASSERT_EQ(listed->size(), 60u);
  EXPECT_EQ(paths_of(*listed), expected_first(dir.path(), 200, 60));
}

TEST(ListWorkspace, CollectLimitCountsSubfolderEntries) {
  zarn_test::TempDir dir;
  fill(dir.path() / "only-sub", 250);
  auto listed = list_workspace(dir.path());
  ASSERT_TRUE(listed.has_value()) << listed.error();
  EXPECT_EQ(paths_of(*listed), expected_first(dir.path() / "only-sub", 200, 60));
}

TEST(ListWorkspace, WalksOneLevelOfSubfolders) {
  zarn_test::TempDir dir;
  const fs::path root = dir.path();
  write_bytes(root / "a.txt", "12345");
  write_bytes(root / "Movie.MKV", "m");
  fs::create_directories(root / "sub" / "deeper");
  write_bytes(root / "sub" / "B.png", "png!");
  write_bytes(root / "sub" / "deeper" / "c.mp4", "too deep");
  fs::create_symlink(root / "sub", root / "link-to-sub");
  fs::create_symlink(root / "a.txt", root / "link-to-a");
  fs::create_symlink(root / "missing", root / "dangling");
  ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0600), 0);
  write_bytes(root / "bad\xFFname.webm", "v");

  auto listed = list_workspace(root);
  ASSERT_TRUE(listed.has_value()) << listed.error();
  const std::string r = root.string();
  const std::vector<ListingEntry> want = {
      {r + "/a.txt", "a.txt", 5, false},
      {r + "/bad\xFFname.webm", "bad\xEF\xBF\xBDname.webm", 1, true},
      {r + "/dangling", "dangling", 0, false},
      {r + "/link-to-a", "link-to-a", 5, false},
      {r + "/Movie.MKV", "Movie.MKV", 1, true},
      {r + "/pipe", "pipe", 0, false},
      {r + "/sub/B.png", "B.png", 4, false},
  };
  EXPECT_EQ(*listed, want);
}

TEST(ListWorkspace, UnavailableFolder) {
  zarn_test::TempDir dir;
  write_bytes(dir.path() / "plain", "not a folder");
  for (const fs::path& p : {dir.path() / "missing", dir.path() / "plain", fs::path()}) {
    SCOPED_TRACE(p.string());
    auto listed = list_workspace(p);
    ASSERT_FALSE(listed.has_value());
    EXPECT_EQ(listed.error(), "workspace is unavailable");
  }
}

TEST(ListWorkspace, EmptyFolderListsNothing) {
  zarn_test::TempDir dir;
  auto listed = list_workspace(dir.path());
  ASSERT_TRUE(listed.has_value());
  EXPECT_TRUE(listed->empty());
}

}  // namespace
}  // namespace chat::attachments
