#include "platform/zarn_ui/doc/splice.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zarn_ui::doc {
namespace {

// Byte offsets where each Unicode scalar value starts, plus the end offset. The text comes from
// the document or from the caller's UTF-8, so continuation bytes are simply skipped.
std::vector<std::size_t> scalar_starts(std::string_view s) {
  std::vector<std::size_t> starts;
  starts.reserve(s.size() + 1);
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  starts.push_back(s.size());
  return starts;
}

}  // namespace

zarn::Result<void> splice_text_diffed(crdt::Document& doc, const crdt::ObjId& text,
                                      std::string_view new_content) {
  const std::string old_content = doc.text(text);
  if (old_content == new_content) return zarn::ok();

  const auto old_starts = scalar_starts(old_content);
  const auto new_starts = scalar_starts(new_content);
  const std::size_t old_count = old_starts.size() - 1;
  const std::size_t new_count = new_starts.size() - 1;

  auto old_scalar = [&](std::size_t i) {
    return std::string_view(old_content).substr(old_starts[i], old_starts[i + 1] - old_starts[i]);
  };
  auto new_scalar = [&](std::size_t i) {
    return new_content.substr(new_starts[i], new_starts[i + 1] - new_starts[i]);
  };

  std::size_t prefix = 0;
  while (prefix < old_count && prefix < new_count && old_scalar(prefix) == new_scalar(prefix)) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix < old_count - prefix && suffix < new_count - prefix &&
         old_scalar(old_count - 1 - suffix) == new_scalar(new_count - 1 - suffix)) {
    ++suffix;
  }

  const std::size_t del = old_count - prefix - suffix;
  const std::string_view insert =
      new_content.substr(new_starts[prefix], new_starts[new_count - suffix] - new_starts[prefix]);
  return doc.splice_text(text, prefix, del, insert);
}

}  // namespace zarn_ui::doc
