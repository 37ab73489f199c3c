#include "platform/zarn_ui/embedded_catalog.h"

#include <optional>

#include "platform/zarn_ui/i18n_manager.h"

namespace zarn_ui {
namespace {

struct Line {
  std::string_view text;
  int number = 0;
};

// Splits on LF, dropping a CR before it; cheap to copy, which is how lookahead works.
class LineCursor {
 public:
  explicit LineCursor(std::string_view source) : rest_(source) {
    if (rest_.substr(0, 3) == "\xEF\xBB\xBF") rest_.remove_prefix(3);
  }
  bool done() const { return rest_.empty(); }
  Line peek() const {
    std::string_view text = rest_.substr(0, rest_.find('\n'));
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    return Line{text, number_ + 1};
  }
  Line next() {
    Line line = peek();
    const std::size_t end = rest_.find('\n');
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    ++number_;
    return line;
  }

 private:
  std::string_view rest_;
  int number_ = 0;
};

bool is_blank(std::string_view s) {
  return s.find_first_not_of(" \t") == std::string_view::npos;
}
bool is_indented(std::string_view s) {
  return !s.empty() && s.front() == ' ';
}

std::string_view trim(std::string_view s) {
  const std::size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  return s.substr(begin, s.find_last_not_of(" \t") + 1 - begin);
}

bool is_ident_start(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_ident_char(char c) {
  return is_ident_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

struct Head {
  std::string_view key;
  std::string_view value;
};

std::optional<Head> parse_head(std::string_view text) {
  if (text.empty() || !is_ident_start(text.front())) return std::nullopt;
  std::size_t i = 1;
  while (i < text.size() && is_ident_char(text[i])) ++i;
  Head head{text.substr(0, i), {}};
  while (i < text.size() && text[i] == ' ') ++i;
  if (i >= text.size() || text[i] != '=') return std::nullopt;
  head.value = trim(text.substr(i + 1));
  return head;
}

// Walks the messages in order. on_message(key, value, line) returns false to stop early;
// on_error(line, text) hears about every line that could not be read.
template <typename OnMessage, typename OnError>
void read_fluent(std::string_view source, OnMessage&& on_message, OnError&& on_error) {
  LineCursor lines(source);
  while (!lines.done()) {
    const Line line = lines.next();
    if (is_blank(line.text) || line.text.front() == '#') continue;
    const std::optional<Head> head = parse_head(line.text);
    if (!head) {
      on_error(line.number, is_indented(line.text) ? "indented line outside a message"
                                                   : "expected `key = value`");
      // Indented lines right after unreadable text belong to it.
      while (!lines.done() && is_indented(lines.peek().text)) lines.next();
      continue;
    }
    std::string value(head->value);
    for (;;) {
      LineCursor probe = lines;
      int blanks = 0;
      while (!probe.done() && is_blank(probe.peek().text)) {
        probe.next();
        ++blanks;
      }
      if (probe.done() || !is_indented(probe.peek().text)) break;
      const Line cont = probe.next();
      lines = probe;
      const std::string_view text = trim(cont.text);
      if (text.front() == '.') {
        on_error(cont.number, "attributes are not supported");
        continue;
      }
      // Blank lines before the first text line are dropped; between lines they are kept.
      if (!value.empty()) value.append(static_cast<std::size_t>(blanks) + 1, '\n');
      value.append(text);
    }
    if (value.empty()) {
      on_error(line.number, "message `" + std::string(head->key) + "` has no value");
      continue;
    }
    if (!on_message(head->key, std::move(value), line.number)) return;
  }
}

}  // namespace

FluentResource parse_fluent(std::string_view source) {
  FluentResource out;
  read_fluent(
      source,
      [&](std::string_view key, std::string value, int line) {
        auto [it, inserted] = out.messages.try_emplace(std::string(key), std::move(value));
        if (inserted) {
          out.keys_in_order.push_back(it->first);
        } else {
          out.errors.push_back({line, "message `" + it->first + "` is already defined"});
        }
        return true;
      },
      [&](int line, std::string message) {
        out.errors.push_back({line, std::move(message)});
      });
  return out;
}

std::optional<std::string> find_fluent_message(std::string_view source, std::string_view key) {
  std::optional<std::string> found;
  read_fluent(
      source,
      [&](std::string_view k, std::string value, int) {
        if (k != key) return true;
        found = std::move(value);
        return false;
      },
      [](int, std::string_view) {});
  return found;
}

const CatalogSource* EmbeddedCatalog::source_for(std::string_view locale) const {
  for (const CatalogSource& s : sources) {
    if (s.locale == locale) return &s;
  }
  return nullptr;
}

std::optional<std::string> EmbeddedCatalog::lookup(std::string_view locale,
                                                   std::string_view key) const {
  const CatalogSource* source = source_for(locale);
  if (!source) return std::nullopt;
  if (locale != default_locale && !probe_key.empty() && key != probe_key &&
      !find_fluent_message(source->source, probe_key)) {
    return std::nullopt;
  }
  return find_fluent_message(source->source, key);
}

std::string EmbeddedCatalog::t(std::string_view key) const {
  const std::string active = I18nManager::active_locale();
  if (!active.empty() && active != default_locale) {
    if (auto text = lookup(active, key)) return std::move(*text);
  }
  if (auto text = lookup(default_locale, key)) return std::move(*text);
  return std::string(key);
}

}  // namespace zarn_ui
