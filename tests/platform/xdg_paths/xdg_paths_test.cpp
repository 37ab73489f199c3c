#include "platform/xdg_paths/xdg_paths.h"

#include <gtest/gtest.h>

#include <map>

namespace xdg_paths {
namespace {

using Vars = std::map<std::string, std::string>;

Env fake(Vars vars, std::optional<std::string> passwd) {
  return Env{[vars](const char* name) -> std::optional<std::string> {
               auto it = vars.find(name);
               if (it == vars.end()) return std::nullopt;
               return it->second;
             },
             [passwd] { return passwd; }};
}

struct Case {
  const char* name;
  Vars vars;
  std::optional<std::string> passwd;
  std::optional<std::string> home, data, config;
};

TEST(XdgPaths, ResolvesBaseDirectories) {
  const std::vector<Case> cases = {
      {"xdg values win",
       {{"HOME", "/h"}, {"XDG_DATA_HOME", "/d"}, {"XDG_CONFIG_HOME", "/c"}},
       "/pw",
       "/h",
       "/d",
       "/c"},
      {"defaults under HOME", {{"HOME", "/h"}}, "/pw", "/h", "/h/.local/share", "/h/.config"},
      {"relative xdg values are ignored",
       {{"HOME", "/h"}, {"XDG_DATA_HOME", "d"}, {"XDG_CONFIG_HOME", "./c"}},
       std::nullopt,
       "/h",
       "/h/.local/share",
       "/h/.config"},
      {"empty xdg values are ignored",
       {{"HOME", "/h"}, {"XDG_DATA_HOME", ""}},
       std::nullopt,
       "/h",
       "/h/.local/share",
       "/h/.config"},
      {"no HOME: password database", {}, "/pw", "/pw", "/pw/.local/share", "/pw/.config"},
      {"empty HOME: password database",
       {{"HOME", ""}},
       "/pw",
       "/pw",
       "/pw/.local/share",
       "/pw/.config"},
      {"relative HOME", {{"HOME", "h"}}, "/pw", "/pw", "/pw/.local/share", "/pw/.config"},
      {"xdg data without any home",
       {{"XDG_DATA_HOME", "/d"}},
       std::nullopt,
       std::nullopt,
       "/d",
       std::nullopt},
      {"nothing at all", {}, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      {"relative password entry", {}, "pw", std::nullopt, std::nullopt, std::nullopt},
  };
  auto str = [](const std::optional<std::filesystem::path>& p) -> std::optional<std::string> {
    if (!p) return std::nullopt;
    return p->string();
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Env env = fake(c.vars, c.passwd);
    EXPECT_EQ(str(home(env)), c.home);
    EXPECT_EQ(str(data_dir(env)), c.data);
    EXPECT_EQ(str(config_dir(env)), c.config);
  }
}

TEST(XdgPaths, ProcessEnvironmentFindsAnAbsoluteHome) {
  // Whoever runs the tests has a home directory in the environment or the password database.
  auto h = home();
  ASSERT_TRUE(h);
  EXPECT_TRUE(h->is_absolute());
}

}  // namespace
}  // namespace xdg_paths
