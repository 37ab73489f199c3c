// Where the application keeps its data: ZARN_CHAT_DATA as given, else the per-user data
// directory plus "zarn-chat", else ~/.local/share/zarn-chat, else nowhere. The environment is
// passed in (HostEnv) so tests need not change the process; the plain overloads use the real
// one. Pure lookups; any thread.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace chat::app {

inline constexpr char kDataDirVar[] = "ZARN_CHAT_DATA";
inline constexpr char kDocumentFileName[] = "workspace.automerge";
inline constexpr char kPeerIdFileName[] = "peer-id";

struct HostEnv {
  // Value of an environment variable, or absent when it is not set.
  std::function<std::optional<std::string>(const char* name)> var;
  // The per-user data directory and the home directory, as xdg_paths finds them.
  std::function<std::optional<std::filesystem::path>()> data_dir;
  std::function<std::optional<std::filesystem::path>()> home;
};

// The process environment, xdg_paths::data_dir and xdg_paths::home.
HostEnv process_host_env();

std::optional<std::filesystem::path> resolve_data_dir(const HostEnv& env);
std::optional<std::filesystem::path> resolve_data_dir();

// The workspace document's file inside a data directory.
std::filesystem::path document_path(const std::filesystem::path& data_dir);

}  // namespace chat::app
