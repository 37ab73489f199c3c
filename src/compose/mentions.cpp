#include "compose/mentions.h"

#include <algorithm>
#include <optional>

#include "compose/unicode_text.h"

namespace chat::compose {
namespace {

struct Key {
  const MentionCandidate* who;
  std::string match;  // the name as it is looked for in the scanned text
};

bool opens_mention(std::string_view text, std::size_t at) {
  if (at == 0) return true;
  const auto before = char_before(text, at);
  return before && is_white_space(*before);
}

bool ends_name(std::string_view text, std::size_t at) {
  if (at >= text.size()) return true;
  const auto next = char_at(text, at);
  return !next || !is_letter_or_digit(*next);
}

}  // namespace

std::vector<document::Mention> scan_mentions(std::string_view text,
                                             std::span<const MentionCandidate> candidates) {
  std::vector<const MentionCandidate*> order;
  order.reserve(candidates.size());
  for (const auto& c : candidates) order.push_back(&c);
  std::stable_sort(order.begin(), order.end(),
                   [](const auto* a, const auto* b) { return a->name.size() > b->name.size(); });

  // Case-insensitive matching is only sound when the lower-cased text keeps every character's
  // byte length: the offsets reported must point into the text as typed.
  const std::optional<LowerCased> lowered = lower_case(text);
  const bool fold = lowered && lowered->aligned;
  const std::string_view scanned = fold ? std::string_view(lowered->text) : text;

  std::vector<Key> keys;
  keys.reserve(order.size());
  for (const auto* c : order) {
    if (c->name.empty()) continue;
    if (!fold) {
      keys.push_back({c, c->name});
      continue;
    }
    auto name = lower_case(c->name);
    if (!name || name->text.size() != c->name.size()) continue;
    keys.push_back({c, std::move(name->text)});
  }

  std::vector<document::Mention> found;
  std::size_t pos = 0;
  while (pos < scanned.size()) {
    const std::size_t at = scanned.find('@', pos);
    if (at == std::string_view::npos) break;
    pos = at + 1;
    if (!opens_mention(scanned, at)) continue;
    const std::string_view rest = scanned.substr(at + 1);
    for (const auto& key : keys) {
      if (!rest.starts_with(key.match)) continue;
      const std::size_t end = at + 1 + key.match.size();
      if (!ends_name(scanned, end)) continue;
      found.push_back({key.who->user, at, key.who->name.size() + 1, key.who->is_agent});
      pos = end;
      break;
    }
  }
  return found;
}

}  // namespace chat::compose
