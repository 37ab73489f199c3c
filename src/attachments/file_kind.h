// What a shared file is taken for, judged by its name alone: the extension after the last "."
// (ASCII letters in any case) names pictures and videos; the bytes never change the verdict.
// Also the display name of a path. Pure functions; any thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace chat::attachments {

enum class FileKind { Other, Picture, Video };

FileKind kind_of_name(std::string_view file_name);

// The last component of `path` with malformed UTF-8 replaced; empty when there is none
// ("/", "", a path ending in "." or "..").
std::string display_name(const std::filesystem::path& path);

}  // namespace chat::attachments
