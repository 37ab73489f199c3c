// Per-user base directories: data (XDG_DATA_HOME or ~/.local/share), config (XDG_CONFIG_HOME or
// ~/.config) and the home directory (HOME, else the password database). Relative XDG values
// are ignored, as the XDG base-directory rules require. Answers are absent, never guessed.
// Pure reads of the environment; any thread (the process environment must not change meanwhile).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace xdg_paths {

// What the lookups consult, injectable so callers can test without touching the process.
struct Env {
  // Value of an environment variable, or absent when it is not set.
  std::function<std::optional<std::string>(const char* name)> var;
  // Home directory from the password database, or absent.
  std::function<std::optional<std::string>()> passwd_home;
};

// The real process environment and password database.
const Env& process_env();

std::optional<std::filesystem::path> home(const Env& env);
std::optional<std::filesystem::path> data_dir(const Env& env);
std::optional<std::filesystem::path> config_dir(const Env& env);

inline std::optional<std::filesystem::path> home() {
  return home(process_env());
}
inline std::optional<std::filesystem::path> data_dir() {
  return data_dir(process_env());
}
inline std::optional<std::filesystem::path> config_dir() {
  return config_dir(process_env());
}

}  // namespace xdg_paths
