#include "attachments/file_kind.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "attachments/workspace_folder.h"

namespace chat::attachments {
namespace {

TEST(KindOfName, Table) {
  struct Case {
    const char* name;
    FileKind want;
  };
  const std::vector<Case> cases = {
      {"a.png", FileKind::Picture},   {"A.JPEG", FileKind::Picture},
      {"x.jpg", FileKind::Picture},   {"x.WebP", FileKind::Picture},
      {"x.gif", FileKind::Picture},   {"x.bmp", FileKind::Picture},
      {"clip.MP4", FileKind::Video},  {"x.webm", FileKind::Video},
      {"x.mov", FileKind::Video},     {"x.mkv", FileKind::Video},
      {"x.m4v", FileKind::Video},     {"x.AVI", FileKind::Video},
      {"x.ogv", FileKind::Video},     {".mp4", FileKind::Video},
      {"x.png.txt", FileKind::Other}, {"x.mp4.", FileKind::Other},
      {"noext", FileKind::Other},     {"x.tiff", FileKind::Other},
      {"x.jpe", FileKind::Other},     {"x.mp", FileKind::Other},
      {"x.mp44", FileKind::Other},    {"x.\xC3\xA9png", FileKind::Other},
      {"", FileKind::Other},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(kind_of_name(c.name), c.want);
  }
}

TEST(DisplayName, Table) {
  struct Case {
    const char* path;
    const char* want;
  };
  const std::vector<Case> cases = {
      {"/a/b.txt", "b.txt"},
      {"/a/b/", "b"},
      {"rel", "rel"},
      {"/", ""},
      {"", ""},
      {"/a/..", ""},
      {"/a/.", ""},
      {"/a/x\xFF", "x\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(display_name(c.path), c.want);
  }
}

TEST(WorkspaceFolder, FromEnvironmentOrDefault) {
  auto env_with = [](std::map<std::string, std::string> vars) -> EnvLookup {
    return [vars](const char* name) -> std::optional<std::string> {
      auto it = vars.find(name);
      if (it == vars.end()) return std::nullopt;
      return it->second;
    };
  };
  EXPECT_EQ(workspace_folder(env_with({})), "/var/workspace");
  EXPECT_EQ(workspace_folder(env_with({{"ZARN_CHAT_ATTACH_DIR", "/srv/shared files"}})),
            "/srv/shared files");
  // Set but empty is still taken as given; listing it then fails.
  EXPECT_EQ(workspace_folder(env_with({{"ZARN_CHAT_ATTACH_DIR", ""}})), "");
}

}  // namespace
}  // namespace chat::attachments
