// The element order of one list or text: a B+-tree whose leaves hold runs of consecutive
// inserts by one actor (each element inserted after the previous one), with visible-element
// counts cached in every node so positions resolve in O(log n). Every run is wholly visible or
// wholly deleted. An index from (actor, start counter) to leaf finds elements by op id.
// Owned by one Document; same thread rules.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/crdt/document.h"

namespace crdt::detail {

struct OpId {
  std::uint64_t counter = 0;  // 0 names the root object or the head of a sequence
  std::uint32_t actor = 0;    // index into the document's actor table
  bool operator==(const OpId&) const = default;
};

struct OpIdHash {
  std::size_t operator()(OpId id) const {
    return std::hash<std::uint64_t>()(id.counter * 0x9E3779B97F4A7C15ULL ^ id.actor);
  }
};

// The value an op writes: a scalar, or a new empty object of a type.
struct Payload {
  Scalar scalar;
  std::optional<ObjType> make;
  bool operator==(const Payload&) const = default;
};

struct Run {
  OpId start;   // id of the first element; element k has counter start.counter + k
  OpId origin;  // what the first element was inserted after (counter 0: the head)
  std::uint32_t len = 0;
  bool deleted = false;
  std::u32string chars;         // texts
  std::vector<Payload> values;  // lists
  // Deleted runs only, one per element: the op that deleted it when that op was a plain
  // delete of the inserted value; counter 0 when the element's history is in the extras table.
  std::vector<OpId> dels;
  OpId id_at(std::uint32_t k) const { return {start.counter + k, start.actor}; }
  bool contains(OpId id) const {
    return id.actor == start.actor && id.counter >= start.counter &&
           id.counter - start.counter < len;
  }
};

struct SeqNode {
  SeqNode* parent = nullptr;
  std::uint64_t visible = 0;
  std::uint64_t total = 0;
  bool leaf = true;
  std::vector<std::unique_ptr<SeqNode>> children;  // internal nodes
  std::vector<Run> runs;                           // leaves
  SeqNode* next = nullptr;                         // leaves, in document order
  SeqNode* prev = nullptr;
};

class Sequence {
 public:
  // Compares op ids by (counter, actor bytes); supplied by the document.
  using Less = bool (*)(const void* ctx, OpId a, OpId b);

  struct Pos {
    SeqNode* leaf = nullptr;
    std::uint32_t run = 0;
    std::uint32_t off = 0;
  };

  explicit Sequence(bool text);
  Sequence(Sequence&&) noexcept = default;
  Sequence& operator=(Sequence&&) noexcept = default;

  bool is_text() const { return text_; }
  std::uint64_t visible() const { return root_->visible; }
  std::uint64_t total() const { return root_->total; }

  // The visible element at `index` (< visible()).
  Pos find_visible(std::uint64_t index) const;
  // The element with this id, if present.
  std::optional<Pos> find(OpId id) const;
  const Run& run_at(const Pos& p) const { return p.leaf->runs[p.run]; }

  // Inserts a visible run that was created locally after `origin` (head when counter is 0):
  // directly behind it, since a new op id is greater than every id already present.
  void insert_local(std::optional<Pos> after, Run run);
  // Inserts a run received from a peer after its origin, skipping concurrent inserts with
  // greater ids so every replica agrees on the order. The origin must exist.
  void insert_remote(Run run, const void* ctx, Less less);
  // Appends a run at the end, trusting the caller's document order (used by load).
  void append(Run run);
  // Marks one element visible or deleted (by `deleter`, see Run::dels), splitting and merging
  // runs as needed.
  void set_visible(Pos p, bool visible, OpId deleter = {});
  // Forgets the plain deleter of a deleted element (its history moves to the extras table).
  void clear_deleter(Pos p) { p.leaf->runs[p.run].dels[p.off] = OpId{}; }

  // Visits runs in document order.
  template <typename F>
  void for_each_run(F&& f) const {
    for (const SeqNode* l = first_leaf(); l; l = l->next)
      for (const Run& r : l->runs) f(r);
  }

 private:
  SeqNode* first_leaf() const;
  void add_counts(SeqNode* n, std::int64_t dvis, std::int64_t dtotal);
  // Inserts `run` at index `at` of leaf `leaf`, merging into the previous run when it
  // continues it. Splits a full leaf.
  void place(SeqNode* leaf, std::uint32_t at, Run run);
  // Splits the run at p so that p.off starts a run; returns the position of that run.
  Pos split(Pos p);
  // Moves the runs from index `keep` on into a new leaf after `leaf`.
  void split_leaf(SeqNode* leaf, std::size_t keep);
  void split_internal(SeqNode* node, bool at_end);
  void index_put(const Run& r, SeqNode* leaf) { index_[{r.start.actor, r.start.counter}] = leaf; }
  void index_erase(const Run& r) { index_.erase({r.start.actor, r.start.counter}); }
  bool try_merge(SeqNode* leaf, std::uint32_t i);  // merges run i+1 into run i

  bool text_;
  std::unique_ptr<SeqNode> root_;
  std::map<std::pair<std::uint32_t, std::uint64_t>, SeqNode*> index_;
};

}  // namespace crdt::detail
