#include "platform/zarn_ui/search/normalize.h"

#include <glib.h>

#include <memory>

namespace zarn_ui::search::provider {
namespace {

struct GFreeDeleter {
  void operator()(gchar* p) const { g_free(p); }
};
using GString_ = std::unique_ptr<gchar, GFreeDeleter>;

}  // namespace

std::string normalize_text(std::string_view text) {
  GString_ valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  GString_ decomposed(g_utf8_normalize(valid.get(), -1, G_NORMALIZE_NFKD));
  if (!decomposed) return {};
  std::string stripped;
  stripped.reserve(text.size());
  for (const gchar* p = decomposed.get(); *p != '\0'; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (g_unichar_type(c) == G_UNICODE_NON_SPACING_MARK) continue;
    char buf[6];
    stripped.append(buf, static_cast<std::size_t>(g_unichar_to_utf8(c, buf)));
  }
  GString_ folded(g_utf8_casefold(stripped.c_str(), static_cast<gssize>(stripped.size())));
  GString_ composed(g_utf8_normalize(folded.get(), -1, G_NORMALIZE_NFC));
  return composed ? std::string(composed.get()) : std::string();
}

std::size_t scalar_count(std::string_view utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++n;
  }
  return n;
}

}  // namespace zarn_ui::search::provider
