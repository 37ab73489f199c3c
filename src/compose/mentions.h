// The mention scanner: finds "@name" mentions of known people in a message text when it is sent.
// Longer names are tried first, letter case is ignored whenever lower-casing keeps every byte
// offset, and a mention needs white space (or the text's start) before the "@" and no letter or
// digit right after the name. Pure function; any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/records.h"

namespace chat::compose {

struct MentionCandidate {
  std::string user;
  std::string name;  // display name; empty names never match
  bool is_agent = false;
};

// Candidates may come in any order; equal-length names keep the order given. Offsets and
// lengths of the results are in bytes of `text`.
std::vector<document::Mention> scan_mentions(std::string_view text,
                                             std::span<const MentionCandidate> candidates);

}  // namespace chat::compose
