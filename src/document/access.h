// Tolerant reads and guarded writes over the workspace document. Reads never fail: a missing
// key or a value of another kind reads as absent. Structural writes the document refuses stop
// the program with a fixed short message; refused scalar writes are ignored. UI thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/crdt/document.h"

namespace chat::document {

// Writes `message` and a newline to stderr, then aborts.
[[noreturn]] void stop(std::string_view message);

// Strict UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool is_valid_utf8(std::string_view s);

// ---- Tolerant readers of one map key (or list index for the object readers).
std::optional<std::string> read_str(const crdt::Document& doc, const crdt::ObjId& map,
                                    std::string_view key);
// Integers of either signedness (unsigned reinterpreted as 64 bits), counters, timestamps and
// floats truncated toward zero (saturated; NaN reads absent).
std::optional<std::int64_t> read_int(const crdt::Document& doc, const crdt::ObjId& map,
                                     std::string_view key);
std::optional<bool> read_bool(const crdt::Document& doc, const crdt::ObjId& map,
                              std::string_view key);
// Content of the text object under the key; absent when the key holds no text.
std::optional<std::string> read_text(const crdt::Document& doc, const crdt::ObjId& map,
                                     std::string_view key);

// The defaulted forms most readers want.
std::string str_or_empty(const crdt::Document& doc, const crdt::ObjId& map, std::string_view key);
std::int64_t int_or_zero(const crdt::Document& doc, const crdt::ObjId& map, std::string_view key);
bool bool_or_false(const crdt::Document& doc, const crdt::ObjId& map, std::string_view key);

// The object of the given kind under a key or list index; absent for any other value.
std::optional<crdt::ObjId> get_map(const crdt::Document& doc, const crdt::ObjId& map,
                                   std::string_view key);
std::optional<crdt::ObjId> get_list(const crdt::Document& doc, const crdt::ObjId& map,
                                    std::string_view key);
std::optional<crdt::ObjId> get_text(const crdt::Document& doc, const crdt::ObjId& map,
                                    std::string_view key);
std::optional<crdt::ObjId> map_at(const crdt::Document& doc, const crdt::ObjId& list,
                                  std::size_t index);

// ---- The same tolerant conversions for a value already read (null: absent), so bulk readers
// that fetch a whole map at once agree with the single-key readers above.
std::optional<std::string> str_of(const crdt::Value* v);
std::optional<std::int64_t> int_of(const crdt::Value* v);
std::optional<bool> bool_of(const crdt::Value* v);
std::optional<crdt::ObjId> obj_of(const crdt::Value* v, crdt::ObjType type);

// A map's entries read in one pass; lookups by key then cost no document access. Holds copies,
// so it stays valid across later writes (and does not see them).
class MapEntries {
 public:
  MapEntries(const crdt::Document& doc, const crdt::ObjId& map) : entries_(doc.map_entries(map)) {}
  // The value under `key`, null when absent.
  const crdt::Value* find(std::string_view key) const;

  std::string str_or_empty(std::string_view key) const {
    return str_of(find(key)).value_or(std::string());
  }
  std::int64_t int_or_zero(std::string_view key) const { return int_of(find(key)).value_or(0); }
  bool bool_or_false(std::string_view key) const { return bool_of(find(key)).value_or(false); }

 private:
  std::vector<std::pair<std::string, crdt::Value>> entries_;  // sorted by key
};

// ---- Get-or-create: the existing object of the wanted kind under `key`, else a new empty one
// put there (replacing whatever else was stored). Refusal stops with `stop_message`.
crdt::ObjId ensure_map(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                       std::string_view stop_message = "put map");
crdt::ObjId ensure_list(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                        std::string_view stop_message = "put list");
crdt::ObjId ensure_text(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                        std::string_view stop_message = "put text");

// Like ensure_map, also telling whether the map had to be created.
struct EnsuredMap {
  crdt::ObjId id;
  bool created = false;
};
EnsuredMap ensure_map_noting(crdt::Document& doc, const crdt::ObjId& map, std::string_view key);

// Inserts a new map at the end of a list; refusal stops with `stop_message`.
crdt::ObjId append_map(crdt::Document& doc, const crdt::ObjId& list, std::string_view stop_message);

// ---- Scalar puts. A refused put is ignored. The *_if_differs forms read the stored value
// with the tolerant reader and write only when it is absent or different.
void put_str(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
             std::string_view value);
void put_int(crdt::Document& doc, const crdt::ObjId& map, std::string_view key, std::int64_t value);
void put_bool(crdt::Document& doc, const crdt::ObjId& map, std::string_view key, bool value);
void put_str_if_differs(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                        std::string_view value);
void put_int_if_differs(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                        std::int64_t value);
void put_bool_if_differs(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                         bool value);

}  // namespace chat::document
