#include "attachments/workspace_folder.h"

#include <cstdlib>

namespace chat::attachments {

std::filesystem::path workspace_folder(const EnvLookup& env) {
  if (env) {
    if (auto value = env(kAttachDirVar)) return std::filesystem::path(*value);
  }
  return std::filesystem::path(kDefaultAttachDir);
}

std::filesystem::path workspace_folder() {
  return workspace_folder([](const char* name) -> std::optional<std::string> {
    const char* v = std::getenv(name);
    if (v == nullptr) return std::nullopt;
    return std::string(v);
  });
}

}  // namespace chat::attachments
