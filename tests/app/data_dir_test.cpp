#include "app/data_dir.h"

#include <gtest/gtest.h>

#include "app/host_env_fake.h"

namespace chat::app {
namespace {

TEST(DataDir, FirstMatchingSourceWins) {
  struct Case {
    const char* name;
    testing::FakeHost host;
    std::optional<std::string> want;
  };
  const std::vector<Case> cases = {
      {"explicit directory is used as is", {{{"ZARN_CHAT_DATA", "/tmp/x"}}, "/d", "/h"}, "/tmp/x"},
      {"explicit relative directory is used as is",
       {{{"ZARN_CHAT_DATA", "rel/dir"}}, "/d", "/h"},
       "rel/dir"},
      {"data directory", {{}, "/d", "/h"}, "/d/zarn-chat"},
      {"home", {{}, std::nullopt, "/h"}, "/h/.local/share/zarn-chat"},
      // An empty value would scatter the files into the working directory.
      {"empty explicit directory is ignored",
       {{{"ZARN_CHAT_DATA", ""}}, "/d", "/h"},
       "/d/zarn-chat"},
      {"nothing", {{}, std::nullopt, std::nullopt}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto got = resolve_data_dir(c.host.env());
    ASSERT_EQ(got.has_value(), c.want.has_value());
    if (got) {
      EXPECT_EQ(got->string(), *c.want);
    }
  }
}

TEST(DataDir, DocumentLivesDirectlyInTheDataDirectory) {
  testing::FakeHost host{{{"ZARN_CHAT_DATA", "/tmp/x"}}, "/d", "/h"};
  EXPECT_EQ(document_path(*resolve_data_dir(host.env())).string(), "/tmp/x/workspace.automerge");
  testing::FakeHost xdg{{}, "/d", "/h"};
  EXPECT_EQ(document_path(*resolve_data_dir(xdg.env())).string(),
            "/d/zarn-chat/workspace.automerge");
  testing::FakeHost home{{}, std::nullopt, "/h"};
  EXPECT_EQ(document_path(*resolve_data_dir(home.env())).string(),
            "/h/.local/share/zarn-chat/workspace.automerge");
}

}  // namespace
}  // namespace chat::app
