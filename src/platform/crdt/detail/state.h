// Internal state of a Document: actor table, objects with every op they ever received (so
// changes can be rebuilt from the state after a load), and the change history.
// Invariants: ops reach the state in causal order; each actor's changes cover disjoint,
// increasing counter ranges; a run's deleted flag equals "no value of the element survives".
// Owned by one Document; same thread rules.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/crdt/detail/sequence.h"
#include "platform/crdt/document.h"

namespace crdt::detail {

enum class Action : std::uint8_t {
  MapPut = 1,      // payload under key; pred: the values it replaces
  MapDel = 2,      // pred: the values it removes
  MapInc = 3,      // amount in payload (Int); pred: the counters it adds to
  SeqInsert = 4,   // list element after `elem`
  SeqSet = 5,      // new value of element `elem`; pred: the values it replaces
  SeqDel = 6,      // pred: the values of element `elem` it removes
  TextInsert = 7,  // `text` after `elem`, one op id per scalar value, each after the previous
};

// One op (or, for TextInsert, a run of ops) with ids (counter.., change actor).
struct Op {
  std::uint64_t counter = 0;
  Action action = Action::MapPut;
  OpId obj;
  std::string key;
  OpId elem;
  Payload payload;
  std::u32string text;
  std::vector<OpId> pred;
  std::uint64_t width() const { return action == Action::TextInsert ? text.size() : 1; }
};

struct MapOp {
  OpId id;
  Action action = Action::MapPut;
  Payload payload;
  std::vector<OpId> pred;
  bool visible = false;        // a put nothing has replaced or removed yet
  std::int64_t inc_total = 0;  // increments added to a counter put
};

struct ElemOp {
  OpId id;
  Action action = Action::SeqSet;
  Payload payload;
  std::vector<OpId> pred;
  bool visible = false;
};

// Sets and deletes an element received after its insert.
struct ElemExtra {
  bool insert_visible = true;
  std::vector<ElemOp> ops;
};

// A map's keys with their ops, sorted bytewise in one array. Maps hold few keys (a message about
// ten), and a binary search over one array costs far fewer cache misses than a tree of nodes.
class KeyTable {
 public:
  using Entry = std::pair<std::string, std::vector<MapOp>>;
  using iterator = std::vector<Entry>::iterator;
  using const_iterator = std::vector<Entry>::const_iterator;

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  std::size_t size() const { return entries_.size(); }

  const_iterator find(std::string_view key) const {
    auto it = lower(key);
    return it != entries_.end() && it->first == key ? it : entries_.end();
  }
  iterator find(std::string_view key) {
    auto it = lower(key);
    return it != entries_.end() && it->first == key ? it : entries_.end();
  }
  // The ops under `key`, inserted empty when absent. Keys arriving in order (a load) append.
  std::vector<MapOp>& operator[](std::string_view key) {
    if (entries_.empty() || std::string_view(entries_.back().first) < key) {
      return entries_.emplace_back(std::string(key), std::vector<MapOp>{}).second;
    }
    auto it = lower(key);
    if (it != entries_.end() && it->first == key) return it->second;
    return entries_.emplace(it, std::string(key), std::vector<MapOp>{})->second;
  }
  // Asks the cache for the array a lookup will search.
  void prefetch() const {
    const char* p = reinterpret_cast<const char*>(entries_.data());
    const std::size_t bytes = std::min<std::size_t>(entries_.size() * sizeof(Entry), 512);
    for (std::size_t off = 0; off < bytes; off += 64) __builtin_prefetch(p + off);
  }
  void erase(std::string_view key) {
    auto it = find(key);
    if (it != entries_.end()) entries_.erase(it);
  }

 private:
  const_iterator lower(std::string_view key) const {
    return std::lower_bound(entries_.begin(), entries_.end(), key,
                            [](const Entry& e, std::string_view k) { return e.first < k; });
  }
  iterator lower(std::string_view key) {
    return std::lower_bound(entries_.begin(), entries_.end(), key,
                            [](const Entry& e, std::string_view k) { return e.first < k; });
  }
  std::vector<Entry> entries_;
};

struct Object {
  ObjType type = ObjType::Map;
  KeyTable keys;                                         // maps
  std::unique_ptr<Sequence> seq;                         // lists and texts
  std::unordered_map<OpId, ElemExtra, OpIdHash> extras;  // lists and texts
};

// Open-addressing index from object id to object. Reads look objects up by id far more often
// than anything else, and the owning node-based map costs two cache misses per lookup. Objects
// are never removed one by one, so the table only grows (or is replaced wholesale).
class ObjectIndex {
 public:
  Object* find(OpId id) const {
    if (slots_.empty()) return nullptr;
    for (std::size_t i = home(id);; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (!s.obj) return nullptr;
      if (s.counter == id.counter && s.actor == id.actor) return s.obj;
    }
  }
  void put(OpId id, Object* obj);
  void reserve(std::size_t n);

 private:
  struct Slot {
    std::uint64_t counter = 0;
    std::uint32_t actor = 0;
    Object* obj = nullptr;  // null: empty slot
  };
  // Objects created close together (a message map and its text and lists) have close
  // counters; ids in one block of 2^kBlockBits counters share a run of slots, so reading one
  // message's objects touches one or two cache lines of the table instead of one per object.
  static constexpr unsigned kBlockBits = 3;
  std::size_t home(OpId id) const {
    const std::uint64_t block =
        ((id.counter >> kBlockBits) ^ (std::uint64_t{id.actor} << 40)) * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(((block >> shift_) << kBlockBits) |
                                    (id.counter & ((1u << kBlockBits) - 1))) &
           mask_;
  }
  void grow(std::size_t min_slots);

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  std::size_t mask_ = 0;
  unsigned shift_ = 64;
};

struct ChangeRec {
  std::uint32_t actor = 0;
  std::uint64_t seq = 0;
  std::uint64_t start_op = 0;
  std::uint64_t op_count = 0;
  std::int64_t time = 0;
  std::string message;
  std::vector<std::uint32_t> deps;  // indexes of earlier changes
  bool hash_known = false;
  ChangeHash hash;
  Bytes encoded;  // canonical chunk; empty until built (changes loaded from a snapshot)
};

struct ChangeHashHash {
  std::size_t operator()(const ChangeHash& h) const {
    std::size_t v;
    static_assert(sizeof v <= sizeof h.bytes);
    std::memcpy(&v, h.bytes.data(), sizeof v);
    return v;
  }
};

// A decoded change chunk with actor references still local to the chunk.
struct DecodedChange {
  ActorId actor;
  std::uint64_t seq = 0;
  std::uint64_t start_op = 0;
  std::int64_t time = 0;
  std::string message;
  std::vector<ChangeHash> deps;
  std::vector<ActorId> actors;  // [0] is the change's actor
  std::vector<Op> ops;          // actor fields index `actors`
  std::uint64_t op_count = 0;
  ChangeHash hash;
  Bytes encoded;
};

struct DocState {
  std::vector<ActorId> actors;
  std::map<ActorId, std::uint32_t> actor_index;
  std::uint32_t self = 0;

  std::unordered_map<OpId, std::unique_ptr<Object>, OpIdHash> objects;  // owns them
  ObjectIndex object_index;  // the same objects, for lookups; kept by create_object
  std::uint64_t max_op = 0;

  std::vector<ChangeRec> changes;
  std::unordered_map<ChangeHash, std::uint32_t, ChangeHashHash> by_hash;
  std::vector<std::uint32_t> heads;                       // change indexes, unordered
  std::vector<std::vector<std::uint32_t>> actor_changes;  // per actor, in seq order
  std::size_t saved_changes = 0;                          // changes covered by the last save

  // The open transaction.
  std::vector<Op> pending;
  std::uint64_t pending_start = 0;
  std::uint64_t pending_width = 0;

  std::vector<DecodedChange> queue;  // waiting for their deps

  std::uint64_t revision = 0;  // see Document::revision; bumped by apply_op and rebuild

  // --- helpers (document.cpp)
  std::uint32_t intern_actor(const ActorId& a);
  bool id_less(OpId a, OpId b) const;
  static bool id_less_ctx(const void* ctx, OpId a, OpId b);
  Object* object(OpId id);
  const Object* object(OpId id) const;
  std::optional<OpId> resolve(const ObjId& id) const;  // the id; the object may not exist
  const Object* find(const ObjId& id) const;
  ObjId external(OpId id) const;
  Value value_of(const Payload& p, OpId id, std::int64_t inc_total) const;
  std::optional<Value> elem_value(const Object& o, const Sequence::Pos& p) const;
  std::optional<Value> elem_value(const Object& o, const Run& r, std::uint32_t off) const;
  // The surviving payload of a list element with the id of the op that wrote it (into `id`);
  // null when nothing survives.
  const Payload* elem_winner(const Object& o, const Run& r, std::uint32_t off, OpId* id) const;
  std::vector<const MapOp*> visible_ops(const Object& o, std::string_view key) const;
  // The value get() reads under one key: the visible op with the greatest id.
  const MapOp* winner(const std::vector<MapOp>& ops) const;
  Object* create_object(OpId id, ObjType type);

  // Applies one op (already validated) to the state. Used by local writes and remote changes.
  // Local ops pass `at`: the element they name (the origin for inserts; null for the head).
  zarn::Result<void> apply_op(const Op& op, std::uint32_t actor, bool local,
                              const Sequence::Pos* at = nullptr, Object* target = nullptr);
  void refresh_visibility(Object& o, OpId elem);

  // Registers a complete change (ops already applied) and updates the heads.
  std::uint32_t add_change(ChangeRec rec);
  std::optional<std::uint32_t> change_of(OpId id) const;
  // Builds the canonical bytes and hash of every change that lacks them.
  void materialize();
  // Replaces the object state with one rebuilt from the committed changes below `keep_changes`
  // (drops pending ops and a half-applied change).
  void rebuild(std::size_t keep_changes);
  void commit_pending(std::optional<std::int64_t> time = std::nullopt, std::string message = {});
};

}  // namespace crdt::detail

namespace crdt {

struct Document::Impl : detail::DocState {};

}  // namespace crdt
