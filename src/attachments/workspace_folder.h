// The folder the attach popover offers files from: ZARN_CHAT_ATTACH_DIR when it is set (any
// value, even empty, taken as a path), otherwise "/var/workspace". The environment is passed in
// so tests need not change the process. Pure lookups; any thread.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace chat::attachments {

inline constexpr char kAttachDirVar[] = "ZARN_CHAT_ATTACH_DIR";
inline constexpr char kDefaultAttachDir[] = "/var/workspace";

// Value of an environment variable, or absent when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;

std::filesystem::path workspace_folder(const EnvLookup& env);
// From the process environment.
std::filesystem::path workspace_folder();

}  // namespace chat::attachments
