// A HostEnv built from a table of variables and fixed directories, for identity and data
// directory tests that must not touch the real environment.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "app/data_dir.h"

namespace chat::app::testing {

struct FakeHost {
  std::map<std::string, std::string> vars;
  std::optional<std::filesystem::path> data_dir;
  std::optional<std::filesystem::path> home;

  HostEnv env() const {
    return HostEnv{[v = vars](const char* name) -> std::optional<std::string> {
                     auto it = v.find(name);
                     if (it == v.end()) return std::nullopt;
                     return it->second;
                   },
                   [d = data_dir] { return d; }, [h = home] { return h; }};
  }
};

}  // namespace chat::app::testing
