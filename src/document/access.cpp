#include "document/access.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace chat::document {

void stop(std::string_view message) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  std::abort();
}

bool is_valid_utf8(std::string_view s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i < len) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    const std::uint32_t min_for_len[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < min_for_len[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

std::optional<std::string> str_of(const crdt::Value* v) {
  if (!v) return std::nullopt;
  if (const std::string* s = v->as_str()) return *s;
  return std::nullopt;
}

std::optional<std::int64_t> int_of(const crdt::Value* v) {
  if (!v) return std::nullopt;
  if (auto i = v->as_int()) return *i;
  if (auto u = v->as_uint()) return static_cast<std::int64_t>(*u);
  if (auto c = v->as_counter()) return *c;
  if (auto t = v->as_timestamp()) return *t;
  if (auto f = v->as_f64()) {
    if (std::isnan(*f)) return std::nullopt;
    // Saturate: converting an out-of-range double to an integer is undefined.
    if (*f >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (*f <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::trunc(*f));
  }
  return std::nullopt;
}

std::optional<bool> bool_of(const crdt::Value* v) {
  if (!v) return std::nullopt;
  return v->as_bool();
}

std::optional<crdt::ObjId> obj_of(const crdt::Value* v, crdt::ObjType type) {
  if (!v) return std::nullopt;
  return v->as_obj(type);
}

const crdt::Value* MapEntries::find(std::string_view key) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                             [](const auto& e, std::string_view k) { return e.first < k; });
  if (it == entries_.end() || it->first != key) return nullptr;
  return &it->second;
}

namespace {

std::optional<crdt::ObjId> obj_in(const std::optional<crdt::Value>& v, crdt::ObjType type) {
  return obj_of(v ? &*v : nullptr, type);
}

crdt::ObjId ensure_object(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                          crdt::ObjType type, std::string_view stop_message, bool* created) {
  if (auto existing = obj_in(doc.get(map, key), type)) {
    if (created) *created = false;
    return *existing;
  }
  auto made = doc.put_object(map, key, type);
  if (!made) stop(stop_message);
  if (created) *created = true;
  return *made;
}

}  // namespace

std::optional<std::string> read_str(const crdt::Document& doc, const crdt::ObjId& map,
                                    std::string_view key) {
  auto v = doc.get(map, key);
  return str_of(v ? &*v : nullptr);
}

std::optional<std::int64_t> read_int(const crdt::Document& doc, const crdt::ObjId& map,
                                     std::string_view key) {
  auto v = doc.get(map, key);
  return int_of(v ? &*v : nullptr);
}

std::optional<bool> read_bool(const crdt::Document& doc, const crdt::ObjId& map,
                              std::string_view key) {
  auto v = doc.get(map, key);
  if (!v) return std::nullopt;
  return v->as_bool();
}

std::optional<std::string> read_text(const crdt::Document& doc, const crdt::ObjId& map,
                                     std::string_view key) {
  auto t = get_text(doc, map, key);
  if (!t) return std::nullopt;
  return doc.text(*t);
}

std::string str_or_empty(const crdt::Document& doc, const crdt::ObjId& map, std::string_view key) {
  return read_str(doc, map, key).value_or(std::string());
}

std::int64_t int_or_zero(const crdt::Document& doc, const crdt::ObjId& map, std::string_view key) {
  return read_int(doc, map, key).value_or(0);
}

bool bool_or_false(const crdt::Document& doc, const crdt::ObjId& map, std::string_view key) {
  return read_bool(doc, map, key).value_or(false);
}

std::optional<crdt::ObjId> get_map(const crdt::Document& doc, const crdt::ObjId& map,
                                   std::string_view key) {
  return obj_in(doc.get(map, key), crdt::ObjType::Map);
}

std::optional<crdt::ObjId> get_list(const crdt::Document& doc, const crdt::ObjId& map,
                                    std::string_view key) {
  return obj_in(doc.get(map, key), crdt::ObjType::List);
}

std::optional<crdt::ObjId> get_text(const crdt::Document& doc, const crdt::ObjId& map,
                                    std::string_view key) {
  return obj_in(doc.get(map, key), crdt::ObjType::Text);
}

std::optional<crdt::ObjId> map_at(const crdt::Document& doc, const crdt::ObjId& list,
                                  std::size_t index) {
  return obj_in(doc.get(list, index), crdt::ObjType::Map);
}

crdt::ObjId ensure_map(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                       std::string_view stop_message) {
  return ensure_object(doc, map, key, crdt::ObjType::Map, stop_message, nullptr);
}

crdt::ObjId ensure_list(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                        std::string_view stop_message) {
  return ensure_object(doc, map, key, crdt::ObjType::List, stop_message, nullptr);
}

crdt::ObjId ensure_text(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                        std::string_view stop_message) {
  return ensure_object(doc, map, key, crdt::ObjType::Text, stop_message, nullptr);
}

EnsuredMap ensure_map_noting(crdt::Document& doc, const crdt::ObjId& map, std::string_view key) {
  EnsuredMap out;
  out.id = ensure_object(doc, map, key, crdt::ObjType::Map, "put map", &out.created);
  return out;
}

crdt::ObjId append_map(crdt::Document& doc, const crdt::ObjId& list,
                       std::string_view stop_message) {
  auto made = doc.insert_object(list, doc.length(list), crdt::ObjType::Map);
  if (!made) stop(stop_message);
  return *made;
}

void put_str(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
             std::string_view value) {
  (void)doc.put(map, key, crdt::Scalar{std::string(value)});
}

void put_int(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
             std::int64_t value) {
  (void)doc.put(map, key, crdt::Scalar{value});
}

void put_bool(crdt::Document& doc, const crdt::ObjId& map, std::string_view key, bool value) {
  (void)doc.put(map, key, crdt::Scalar{value});
}

void put_str_if_differs(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                        std::string_view value) {
  auto stored = read_str(doc, map, key);
  if (stored && *stored == value) return;
  put_str(doc, map, key, value);
}

void put_int_if_differs(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                        std::int64_t value) {
  auto stored = read_int(doc, map, key);
  if (stored && *stored == value) return;
  put_int(doc, map, key, value);
}

void put_bool_if_differs(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                         bool value) {
  auto stored = read_bool(doc, map, key);
  if (stored && *stored == value) return;
  put_bool(doc, map, key, value);
}

}  // namespace chat::document
