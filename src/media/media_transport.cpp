#include "media/media_transport.h"

#include <algorithm>

namespace chat::media {

void add_published(std::vector<MediaKind>& kinds, MediaKind kind) {
  if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
}

void remove_published(std::vector<MediaKind>& kinds, MediaKind kind) {
  std::erase(kinds, kind);
}

void add_subscription(std::vector<std::pair<std::string, MediaKind>>& subs,
                      const std::string& source, MediaKind kind) {
  auto pair = std::make_pair(source, kind);
  if (std::find(subs.begin(), subs.end(), pair) == subs.end()) subs.push_back(std::move(pair));
}

}  // namespace chat::media
