#include "attachments/file_kind.h"

#include <array>

#include "compose/unicode_text.h"

namespace chat::attachments {
namespace {

constexpr std::array<std::string_view, 6> kPictures = {"png", "jpg", "jpeg", "webp", "gif", "bmp"};
constexpr std::array<std::string_view, 7> kVideos = {"mp4", "webm", "mov", "mkv",
                                                     "m4v", "avi",  "ogv"};

bool ascii_iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (x != b[i]) return false;
  }
  return true;
}

template <std::size_t N>
bool listed(std::string_view ext, const std::array<std::string_view, N>& table) {
  for (auto e : table) {
    if (ascii_iequal(ext, e)) return true;
  }
  return false;
}

}  // namespace

FileKind kind_of_name(std::string_view file_name) {
  const auto dot = file_name.rfind('.');
  if (dot == std::string_view::npos) return FileKind::Other;
  const std::string_view ext = file_name.substr(dot + 1);
  if (listed(ext, kVideos)) return FileKind::Video;
  if (listed(ext, kPictures)) return FileKind::Picture;
  return FileKind::Other;
}

std::string display_name(const std::filesystem::path& path) {
  std::string_view raw = path.native();
  while (raw.size() > 1 && raw.back() == '/') raw.remove_suffix(1);
  const auto slash = raw.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? raw : raw.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") return {};
  return compose::valid_utf8(last);
}

}  // namespace chat::attachments
