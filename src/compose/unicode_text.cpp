#include "compose/unicode_text.h"

#include <glib.h>

#include <vector>

namespace chat::compose {
namespace {

constexpr char32_t kCapitalIWithDot = 0x130;
constexpr char32_t kCapitalSigma = 0x3A3;
constexpr char32_t kFinalSigma = 0x3C2;

struct Char {
  char32_t c;
  std::size_t len;
};

bool is_cased(char32_t c) {
  return g_unichar_isupper(c) || g_unichar_islower(c) || g_unichar_istitle(c);
}

bool is_case_ignorable(char32_t c) {
  switch (g_unichar_type(c)) {
    case G_UNICODE_NON_SPACING_MARK:
    case G_UNICODE_ENCLOSING_MARK:
    case G_UNICODE_FORMAT:
    case G_UNICODE_MODIFIER_LETTER:
    case G_UNICODE_MODIFIER_SYMBOL:
      return true;
    default:
      break;
  }
  return c == U'\'' || c == U'.' || c == U':' || c == 0xB7 || c == 0x2018 || c == 0x2019 ||
         c == 0x2024 || c == 0x2027;
}

// Σ lowers to ς at the end of a word: a cased letter before it, none after it (case-ignorable
// characters in between are looked through).
bool is_word_final(const std::vector<Char>& chars, std::size_t i) {
  bool cased_before = false;
  for (std::size_t j = i; j-- > 0;) {
    if (is_case_ignorable(chars[j].c)) continue;
    cased_before = is_cased(chars[j].c);
    break;
  }
  if (!cased_before) return false;
  for (std::size_t j = i + 1; j < chars.size(); ++j) {
    if (is_case_ignorable(chars[j].c)) continue;
    return !is_cased(chars[j].c);
  }
  return true;
}

void append_utf8(std::string& out, char32_t c) {
  char buf[6];
  const int n = g_unichar_to_utf8(c, buf);
  out.append(buf, static_cast<std::size_t>(n));
}

}  // namespace

std::optional<LowerCased> lower_case(std::string_view utf8) {
  if (!g_utf8_validate_len(utf8.data(), utf8.size(), nullptr)) return std::nullopt;
  std::vector<Char> chars;
  chars.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const char* p = utf8.data() + at;
    const char* next = g_utf8_next_char(p);
    chars.push_back({g_utf8_get_char(p), static_cast<std::size_t>(next - p)});
    at += chars.back().len;
  }
  LowerCased out;
  out.text.reserve(utf8.size());
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const std::size_t before = out.text.size();
    const char32_t c = chars[i].c;
    if (c == kCapitalIWithDot) {
      out.text += "i\xCC\x87";
    } else if (c == kCapitalSigma && is_word_final(chars, i)) {
      append_utf8(out.text, kFinalSigma);
    } else {
      append_utf8(out.text, g_unichar_tolower(c));
    }
    if (out.text.size() - before != chars[i].len) out.aligned = false;
  }
  return out;
}

bool is_white_space(char32_t c) {
  return g_unichar_isspace(c) || c == 0x85;
}

bool is_letter_or_digit(char32_t c) {
  if (g_unichar_isalpha(c)) return true;
  switch (g_unichar_type(c)) {
    case G_UNICODE_DECIMAL_NUMBER:
    case G_UNICODE_LETTER_NUMBER:
    case G_UNICODE_OTHER_NUMBER:
    case G_UNICODE_NON_SPACING_MARK:
    case G_UNICODE_SPACING_MARK:
    case G_UNICODE_ENCLOSING_MARK:
      return true;
    default:
      return false;
  }
}

std::optional<char32_t> char_at(std::string_view utf8, std::size_t at) {
  if (at >= utf8.size()) return std::nullopt;
  const gunichar c =
      g_utf8_get_char_validated(utf8.data() + at, static_cast<gssize>(utf8.size() - at));
  if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return std::nullopt;
  return static_cast<char32_t>(c);
}

std::optional<char32_t> char_before(std::string_view utf8, std::size_t end) {
  if (end == 0 || end > utf8.size()) return std::nullopt;
  std::size_t start = end - 1;
  // A character is at most 4 bytes: its lead byte plus up to 3 continuation bytes.
  while (start > 0 && end - start < 4 && (static_cast<unsigned char>(utf8[start]) & 0xC0) == 0x80) {
    --start;
  }
  const auto c = char_at(utf8.substr(0, end), start);
  if (!c) return std::nullopt;
  char buf[6];
  if (static_cast<std::size_t>(g_unichar_to_utf8(*c, buf)) != end - start) return std::nullopt;
  return c;
}

std::string valid_utf8(std::string_view bytes) {
  if (g_utf8_validate_len(bytes.data(), bytes.size(), nullptr)) return std::string(bytes);
  gchar* fixed = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
  std::string out(fixed);
  g_free(fixed);
  return out;
}

}  // namespace chat::compose
