#include "app/data_dir.h"

#include <cstdlib>

#include "platform/xdg_paths/xdg_paths.h"

namespace chat::app {

HostEnv process_host_env() {
  return HostEnv{
      [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        if (v == nullptr) return std::nullopt;
        return std::string(v);
      },
      [] { return xdg_paths::data_dir(); },
      [] { return xdg_paths::home(); },
  };
}

std::optional<std::filesystem::path> resolve_data_dir(const HostEnv& env) {
  // An empty value would put the data in whatever directory the program was started from.
  if (auto explicit_dir = env.var ? env.var(kDataDirVar) : std::nullopt;
      explicit_dir && !explicit_dir->empty()) {
    return std::filesystem::path(*explicit_dir);
  }
  if (auto data = env.data_dir ? env.data_dir() : std::nullopt) return *data / "zarn-chat";
  if (auto home = env.home ? env.home() : std::nullopt) {
    return *home / ".local/share" / "zarn-chat";
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> resolve_data_dir() {
  return resolve_data_dir(process_host_env());
}

std::filesystem::path document_path(const std::filesystem::path& data_dir) {
  return data_dir / kDocumentFileName;
}

}  // namespace chat::app
