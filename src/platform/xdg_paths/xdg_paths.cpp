#include "platform/xdg_paths/xdg_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace xdg_paths {
namespace {

std::optional<std::string> getenv_value(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr) return std::nullopt;
  return std::string(v);
}

std::optional<std::string> passwd_home_dir() {
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
  for (int attempt = 0; attempt < 8; ++attempt) {
    passwd pw{};
    passwd* found = nullptr;
    int rc = getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found);
    if (rc == ERANGE) {
      buf.resize(buf.size() * 2);
      continue;
    }
    if (rc != 0 || found == nullptr || found->pw_dir == nullptr) return std::nullopt;
    return std::string(found->pw_dir);
  }
  return std::nullopt;
}

// Only absolute paths count; a relative base directory would depend on the working directory.
std::optional<std::filesystem::path> absolute_or_none(const std::optional<std::string>& v) {
  if (!v || v->empty()) return std::nullopt;
  std::filesystem::path p(*v);
  if (!p.is_absolute()) return std::nullopt;
  return p;
}

std::optional<std::filesystem::path> under_home(const Env& env, const char* xdg_var,
                                                const char* fallback) {
  if (auto p = absolute_or_none(env.var ? env.var(xdg_var) : std::nullopt)) return p;
  auto h = home(env);
  if (!h) return std::nullopt;
  return *h / fallback;
}

}  // namespace

const Env& process_env() {
  static const Env env{getenv_value, passwd_home_dir};
  return env;
}

std::optional<std::filesystem::path> home(const Env& env) {
  if (auto p = absolute_or_none(env.var ? env.var("HOME") : std::nullopt)) return p;
  return absolute_or_none(env.passwd_home ? env.passwd_home() : std::nullopt);
}

std::optional<std::filesystem::path> data_dir(const Env& env) {
  return under_home(env, "XDG_DATA_HOME", ".local/share");
}

std::optional<std::filesystem::path> config_dir(const Env& env) {
  return under_home(env, "XDG_CONFIG_HOME", ".config");
}

}  // namespace xdg_paths
