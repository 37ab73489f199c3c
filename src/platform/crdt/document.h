// crdt::Document: one replicated document of nested maps, lists, texts and scalars.
// Every write joins an implicit transaction that commit() seals into a hashed change; peers
// converge by exchanging changes (merge, changes_since/apply_changes) in any order.
// Not thread-safe: one thread owns a Document at a time. Decoders never trust their input.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/base/result.h"

namespace crdt {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// 16 random bytes naming one writer of the document.
struct ActorId {
  std::array<std::uint8_t, 16> bytes{};
  static ActorId random();
  std::string to_hex() const;
  auto operator<=>(const ActorId&) const = default;
};

// SHA-256 of an encoded change.
struct ChangeHash {
  std::array<std::uint8_t, 32> bytes{};
  std::string to_hex() const;
  auto operator<=>(const ChangeHash&) const = default;
};

// Names one object (map, list or text). The root map is ObjId::root(). Ids are the id of the
// operation that created the object, so they are the same on every replica.
struct ObjId {
  std::uint64_t counter = 0;  // 0 only for the root
  ActorId actor;
  static ObjId root() { return {}; }
  bool is_root() const { return counter == 0; }
  auto operator<=>(const ObjId&) const = default;
};

enum class ObjType : std::uint8_t { Map, List, Text };

struct Null {
  auto operator<=>(const Null&) const = default;
};
struct Counter {
  std::int64_t value = 0;
  auto operator<=>(const Counter&) const = default;
};
struct Timestamp {
  std::int64_t millis = 0;  // since the Unix epoch
  auto operator<=>(const Timestamp&) const = default;
};

using Scalar = std::variant<Null, std::string, std::int64_t, std::uint64_t, double, bool, Counter,
                            Timestamp>;

// An object reference as seen by a reader.
struct ObjRef {
  ObjType type;
  ObjId id;
  bool operator==(const ObjRef&) const = default;
};

// What a read returns: a scalar or a nested object.
struct Value {
  std::variant<Scalar, ObjRef> v;

  bool is_object() const { return std::holds_alternative<ObjRef>(v); }
  // Typed views; nullopt/nullptr when the value has another kind.
  const std::string* as_str() const;
  std::optional<std::int64_t> as_int() const;  // Int only
  std::optional<std::uint64_t> as_uint() const;  // Uint only
  std::optional<double> as_f64() const;
  std::optional<bool> as_bool() const;
  std::optional<std::int64_t> as_counter() const;
  std::optional<std::int64_t> as_timestamp() const;
  bool is_null() const;
  // The object id when the value is an object of the given type.
  std::optional<ObjId> as_obj(ObjType type) const;
  bool operator==(const Value&) const = default;
};

namespace detail {
struct DocState;
struct Object;
}  // namespace detail

// One map of the document read in place, handed out by Document::visit_list_maps. Valid only
// during the visit: it points into the document's state and copies nothing until asked.
class MapView {
 public:
  // What get(map, key) returns.
  std::optional<Value> get(std::string_view key) const;
  // The string get(map, key) would return, without copying it; null for anything else.
  const std::string* str(std::string_view key) const;
  // The id of the object of that type get(map, key) would return.
  std::optional<ObjId> obj(std::string_view key, ObjType type) const;
  // Document::visit_list_maps on the list get(map, key) would return; nothing for anything else.
  template <typename F>
  void visit_list_maps(std::string_view key, F&& visit) const {
    visit_list_maps(
        key, [](void* f, const MapView& m) { (*static_cast<std::remove_reference_t<F>*>(f))(m); },
        const_cast<void*>(static_cast<const void*>(&visit)));
  }

 private:
  friend class Document;
  void visit_list_maps(std::string_view key, void (*call)(void*, const MapView&), void* f) const;
  static void visit_elements(const detail::DocState& state, const detail::Object& list,
                             void (*call)(void*, const MapView&), void* f);
  MapView(const detail::DocState* state, const detail::Object* map) : state_(state), map_(map) {}
  const detail::DocState* state_;
  const detail::Object* map_;  // null: a map without an object reads as empty
};

// Metadata of one committed change.
struct ChangeInfo {
  ChangeHash hash;
  ActorId actor;
  std::uint64_t seq = 0;       // 1-based per actor
  std::uint64_t start_op = 0;  // counter of its first operation
  std::size_t op_count = 0;
  std::int64_t time = 0;  // seconds since the Unix epoch, as given to commit
  std::string message;
  std::vector<ChangeHash> deps;
};

class Document {
 public:
  Document();  // random actor
  explicit Document(ActorId actor);
  ~Document();
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // An independent copy with its own actor (random unless given).
  Document fork(std::optional<ActorId> actor = std::nullopt) const;

  const ActorId& actor() const;
  Bytes actor_bytes() const;
  void set_actor(ActorId actor);  // only while no operation is pending

  // ---- Reads (see pending writes too). Missing keys, indexes or objects read as nothing.
  std::optional<Value> get(const ObjId& obj, std::string_view key) const;
  std::optional<Value> get(const ObjId& obj, std::size_t index) const;
  // Every concurrent value under a key, winner first (greatest op id wins).
  std::vector<Value> get_all(const ObjId& obj, std::string_view key) const;
  std::vector<std::string> keys(const ObjId& obj) const;  // sorted bytewise
  std::size_t length(const ObjId& obj) const;  // list elements, text scalars, map keys
  std::string text(const ObjId& obj) const;  // UTF-8 content of a text object
  std::optional<ObjType> object_type(const ObjId& obj) const;

  // ---- Bulk reads: one object lookup and one pass where a loop of get() calls would repeat
  // the lookup per key or walk the list from its root per index. Each yields exactly what
  // the corresponding get() calls would.
  // The visible elements of a list or text in order (get(obj, i) for every i).
  std::vector<Value> list_values(const ObjId& list) const;
  // Every key with a value and its winner (get(obj, key)), sorted bytewise by key.
  std::vector<std::pair<std::string, Value>> map_entries(const ObjId& map) const;
  // One entry per visible element of a list: the value under `key` when the element is a map
  // holding one, nullopt otherwise. Empty when `list` is not a list.
  std::vector<std::optional<Value>> list_field(const ObjId& list, std::string_view key) const;
  // Calls visit(const MapView&) for every visible element of a list that is a map (those that
  // list_values returns as map references), in order; nothing when `list` is not a list. For
  // scans that need a few keys of many maps without the copies of the reads above. The
  // document must not be written during the visit.
  template <typename F>
  void visit_list_maps(const ObjId& list, F&& visit) const {
    visit_list_maps(
        list, [](void* f, const MapView& m) { (*static_cast<std::remove_reference_t<F>*>(f))(m); },
        const_cast<void*>(static_cast<const void*>(&visit)));
  }

  // ---- Writes. Errors: unknown object, wrong object kind, index out of range, bad UTF-8.
  zarn::Result<void> put(const ObjId& map, std::string_view key, Scalar value);
  zarn::Result<ObjId> put_object(const ObjId& map, std::string_view key, ObjType type);
  zarn::Result<void> set(const ObjId& list, std::size_t index, Scalar value);
  zarn::Result<ObjId> set_object(const ObjId& list, std::size_t index, ObjType type);
  zarn::Result<void> insert(const ObjId& list, std::size_t index, Scalar value);
  zarn::Result<ObjId> insert_object(const ObjId& list, std::size_t index, ObjType type);
  zarn::Result<void> delete_key(const ObjId& map, std::string_view key);
  zarn::Result<void> delete_at(const ObjId& list, std::size_t index);
  // Deletes `del` elements at `pos` and inserts `values` there (lists).
  zarn::Result<void> splice(const ObjId& list, std::size_t pos, std::size_t del,
                            std::span<const Scalar> values);
  // Text positions and counts are in Unicode scalar values; `insert` must be valid UTF-8.
  zarn::Result<void> splice_text(const ObjId& text, std::size_t pos, std::size_t del,
                                 std::string_view insert);
  // Adds to a Counter under a map key (concurrent increments add up).
  zarn::Result<void> increment(const ObjId& map, std::string_view key, std::int64_t by);

  // ---- Transactions. Writes collect in an implicit transaction until commit().
  std::size_t pending_ops() const;
  // Seals the pending operations into one change; nothing when none are pending.
  // `time` defaults to the current wall-clock seconds.
  std::optional<ChangeHash> commit(std::string message = {},
                                   std::optional<std::int64_t> time = std::nullopt);
  // Drops the pending operations, restoring the state of the last commit.
  void rollback();

  // Changes whenever the content may have changed (any write, applied change or rollback), so
  // a caller can keep data derived from the document while it stays the same. Starts at a
  // random value: two documents are unlikely to ever show the same revision.
  std::uint64_t revision() const;

  // Hashes of the committed changes that no other change depends on, sorted.
  std::vector<ChangeHash> heads() const;
  std::vector<ChangeInfo> changes() const;  // every committed change, in causal order
  std::size_t change_count() const;

  // ---- Persistence and sync. Each commits pending operations first.
  Bytes save();
  // The changes made or received since the last save()/save_incremental()/load(); empty when
  // there are none.
  Bytes save_incremental();
  // A snapshot followed by any number of incremental chunks, or chunks alone.
  static zarn::Result<Document> load(ByteView bytes, std::optional<ActorId> actor = std::nullopt);
  // Applies every change of `other` this document lacks.
  zarn::Result<void> merge(Document& other);
  // Encoded changes that are not ancestors of `heads` (all changes for an empty list).
  // Unknown hashes in `heads` are ignored.
  Bytes changes_since(std::span<const ChangeHash> heads);
  // Applies encoded changes (from changes_since or save_incremental). Changes already present
  // are skipped; changes whose deps are missing wait until the deps arrive.
  zarn::Result<void> apply_changes(ByteView bytes);
  // Changes received whose dependencies have not arrived yet.
  std::size_t queued_changes() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  void visit_list_maps(const ObjId& list, void (*call)(void*, const MapView&), void* f) const;
  explicit Document(std::unique_ptr<Impl> impl);
};

}  // namespace crdt
