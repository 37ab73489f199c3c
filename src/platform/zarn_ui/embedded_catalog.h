// Message catalogues compiled into the program as Fluent text (a subset: comments, blank lines,
// `key = value` messages, indented continuation lines). EmbeddedCatalog is a constant
// descriptor; lookups read its sources directly, so it needs no set-up and is safe on any
// thread. The active locale comes from I18nManager.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zarn_ui {

struct FluentError {
  int line = 0;  // 1-based
  std::string message;
};

struct FluentResource {
  // A key defined twice keeps its first value; the second is reported as an error.
  std::map<std::string, std::string, std::less<>> messages;
  std::vector<std::string> keys_in_order;
  std::vector<FluentError> errors;
};

// Parses the whole text. Lines it cannot read are reported and skipped; the rest still count.
FluentResource parse_fluent(std::string_view source);

// The value of `key` in `source`, as parse_fluent would give it.
std::optional<std::string> find_fluent_message(std::string_view source, std::string_view key);

struct CatalogSource {
  std::string_view locale;
  std::string_view source;
};

struct EmbeddedCatalog {
  std::string_view default_locale;
  std::span<const CatalogSource> sources;
  // A key every complete translation defines; a translation without it is passed over as a
  // whole, so a broken or empty one falls back to the default locale.
  std::string_view probe_key;

  // The text for `key` in the active locale, else in the default locale, else the key itself,
  // so a missing entry shows up on screen instead of vanishing.
  std::string t(std::string_view key) const;
  // The text for `key` in exactly `locale` (no fallback); nothing when that source is
  // missing or lacks `key`, or when it is a translation that lacks the probe key.
  std::optional<std::string> lookup(std::string_view locale, std::string_view key) const;
  const CatalogSource* source_for(std::string_view locale) const;
};

}  // namespace zarn_ui
