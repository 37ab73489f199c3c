#include "platform/crdt/detail/sequence.h"

#include <cassert>

namespace crdt::detail {
namespace {

constexpr std::size_t kLeafMax = 32;
constexpr std::size_t kFanMax = 64;

bool continues(const Run& prev, const Run& next) {
  return prev.start.actor == next.start.actor &&
         prev.start.counter + prev.len == next.start.counter && prev.deleted == next.deleted &&
         next.origin == prev.id_at(prev.len - 1);
}

void absorb(Run& into, Run&& from) {
  into.len += from.len;
  into.chars += from.chars;
  for (auto& v : from.values) into.values.push_back(std::move(v));
  into.dels.insert(into.dels.end(), from.dels.begin(), from.dels.end());
}

std::uint64_t visible_of(const Run& r) {
  return r.deleted ? 0 : r.len;
}

std::size_t child_index(const SeqNode* parent, const SeqNode* child) {
  for (std::size_t i = 0; i < parent->children.size(); ++i)
    if (parent->children[i].get() == child) return i;
  assert(false && "child not under its parent");
  return 0;
}

}  // namespace

Sequence::Sequence(bool text) : text_(text), root_(std::make_unique<SeqNode>()) {}

SeqNode* Sequence::first_leaf() const {
  SeqNode* n = root_.get();
  while (!n->leaf) n = n->children.front().get();
  return n;
}

void Sequence::add_counts(SeqNode* n, std::int64_t dvis, std::int64_t dtotal) {
  for (; n; n = n->parent) {
    n->visible += dvis;
    n->total += dtotal;
  }
}

Sequence::Pos Sequence::find_visible(std::uint64_t index) const {
  SeqNode* n = root_.get();
  while (!n->leaf) {
    SeqNode* next = nullptr;
    for (auto& c : n->children) {
      if (index < c->visible) {
        next = c.get();
        break;
      }
      index -= c->visible;
    }
    assert(next && "index past the visible length");
    n = next;
  }
  for (std::uint32_t i = 0; i < n->runs.size(); ++i) {
    std::uint64_t v = visible_of(n->runs[i]);
    if (index < v) return {n, i, static_cast<std::uint32_t>(index)};
    index -= v;
  }
  assert(false && "leaf counts out of step");
  return {};
}

std::optional<Sequence::Pos> Sequence::find(OpId id) const {
  auto it = index_.upper_bound({id.actor, id.counter});
  if (it == index_.begin()) return std::nullopt;
  --it;
  if (it->first.first != id.actor) return std::nullopt;
  SeqNode* leaf = it->second;
  for (std::uint32_t i = 0; i < leaf->runs.size(); ++i) {
    const Run& r = leaf->runs[i];
    if (r.contains(id))
      return Pos{leaf, i, static_cast<std::uint32_t>(id.counter - r.start.counter)};
  }
  return std::nullopt;
}

Sequence::Pos Sequence::split(Pos p) {
  if (p.off == 0) return p;
  Run& r = p.leaf->runs[p.run];
  Run right;
  right.start = r.id_at(p.off);
  right.origin = r.id_at(p.off - 1);
  right.len = r.len - p.off;
  right.deleted = r.deleted;
  if (text_) {
    right.chars = r.chars.substr(p.off);
    r.chars.resize(p.off);
  } else {
    right.values.assign(std::make_move_iterator(r.values.begin() + p.off),
                        std::make_move_iterator(r.values.end()));
    r.values.erase(r.values.begin() + p.off, r.values.end());
  }
  if (!r.dels.empty()) {
    right.dels.assign(r.dels.begin() + p.off, r.dels.end());
    r.dels.resize(p.off);
  }
  r.len = p.off;
  index_put(right, p.leaf);
  p.leaf->runs.insert(p.leaf->runs.begin() + p.run + 1, std::move(right));
  return {p.leaf, p.run + 1, 0};
}

void Sequence::place(SeqNode* leaf, std::uint32_t at, Run run) {
  const std::int64_t dvis = static_cast<std::int64_t>(visible_of(run));
  const std::int64_t dtotal = run.len;
  // The run may continue the element just before it, which can sit in the previous leaf.
  SeqNode* prev_leaf = leaf;
  std::uint32_t prev_at = at;
  if (at == 0 && leaf->prev) {
    prev_leaf = leaf->prev;
    prev_at = static_cast<std::uint32_t>(prev_leaf->runs.size());
  }
  if (prev_at > 0 && continues(prev_leaf->runs[prev_at - 1], run)) {
    absorb(prev_leaf->runs[prev_at - 1], std::move(run));
    add_counts(prev_leaf, dvis, dtotal);
    return;
  }
  index_put(run, leaf);
  leaf->runs.insert(leaf->runs.begin() + at, std::move(run));
  add_counts(leaf, dvis, dtotal);
  if (leaf->runs.size() > kLeafMax) {
    // Appending at the very end (loading) leaves full leaves behind; elsewhere split evenly.
    const bool at_end = !leaf->next && at + 1 == leaf->runs.size();
    split_leaf(leaf, at_end ? leaf->runs.size() - 1 : leaf->runs.size() / 2);
  }
}

void Sequence::insert_local(std::optional<Pos> after, Run run) {
  if (!after) {
    place(first_leaf(), 0, std::move(run));
    return;
  }
  Pos p = *after;
  if (p.off + 1 < p.leaf->runs[p.run].len) {
    Pos right = split({p.leaf, p.run, p.off + 1});
    place(right.leaf, right.run, std::move(run));
  } else {
    place(p.leaf, p.run + 1, std::move(run));
  }
  // place() splits full leaves; a split() above adds one run that place() may not see.
  if (p.leaf->runs.size() > kLeafMax) split_leaf(p.leaf, p.leaf->runs.size() / 2);
}

void Sequence::insert_remote(Run run, const void* ctx, Less less) {
  SeqNode* leaf;
  std::uint32_t i;
  std::uint32_t off;
  if (run.origin.counter == 0) {
    leaf = first_leaf();
    i = 0;
    off = 0;
  } else {
    auto p = find(run.origin);
    assert(p && "origin checked by the caller");
    leaf = p->leaf;
    i = p->run;
    off = p->off + 1;
    if (off == leaf->runs[i].len) {
      ++i;
      off = 0;
    }
  }
  // Skip concurrent inserts with greater ids (and everything inserted after them). Ids grow
  // along a run, so one comparison decides for the whole rest of a run.
  for (;;) {
    if (i == leaf->runs.size()) {
      if (!leaf->next) break;
      leaf = leaf->next;
      i = 0;
      off = 0;
      continue;
    }
    const Run& r = leaf->runs[i];
    if (!less(ctx, run.start, r.id_at(off))) break;
    ++i;
    off = 0;
  }
  if (off > 0) {
    Pos at = split({leaf, i, off});
    place(leaf, at.run, std::move(run));
    if (leaf->runs.size() > kLeafMax) split_leaf(leaf, leaf->runs.size() / 2);
  } else {
    place(leaf, i, std::move(run));
  }
}

void Sequence::append(Run run) {
  SeqNode* n = root_.get();
  while (!n->leaf) n = n->children.back().get();
  place(n, static_cast<std::uint32_t>(n->runs.size()), std::move(run));
}

bool Sequence::try_merge(SeqNode* leaf, std::uint32_t i) {
  if (i + 1 >= leaf->runs.size()) return false;
  Run& a = leaf->runs[i];
  Run& b = leaf->runs[i + 1];
  if (!continues(a, b)) return false;
  index_erase(b);
  absorb(a, std::move(b));
  leaf->runs.erase(leaf->runs.begin() + i + 1);
  return true;
}

void Sequence::set_visible(Pos p, bool visible, OpId deleter) {
  if (p.leaf->runs[p.run].deleted == !visible) return;
  SeqNode* leaf = p.leaf;
  Pos q = split(p);
  if (leaf->runs[q.run].len > 1) split({leaf, q.run, 1});
  Run& r = leaf->runs[q.run];
  r.deleted = !visible;
  r.dels.clear();
  if (!visible) r.dels.push_back(deleter);
  add_counts(leaf, visible ? 1 : -1, 0);
  try_merge(leaf, q.run);
  if (q.run > 0) try_merge(leaf, q.run - 1);
  if (leaf->runs.size() > kLeafMax) split_leaf(leaf, leaf->runs.size() / 2);
}

void Sequence::split_leaf(SeqNode* leaf, std::size_t keep) {
  auto fresh = std::make_unique<SeqNode>();
  SeqNode* nl = fresh.get();
  const std::size_t half = keep;
  for (std::size_t k = half; k < leaf->runs.size(); ++k) {
    Run& r = leaf->runs[k];
    nl->visible += visible_of(r);
    nl->total += r.len;
    index_put(r, nl);
    nl->runs.push_back(std::move(r));
  }
  leaf->runs.resize(half);
  leaf->visible -= nl->visible;
  leaf->total -= nl->total;
  nl->next = leaf->next;
  if (nl->next) nl->next->prev = nl;
  nl->prev = leaf;
  leaf->next = nl;

  if (!leaf->parent) {
    auto root = std::make_unique<SeqNode>();
    root->leaf = false;
    root->visible = leaf->visible + nl->visible;
    root->total = leaf->total + nl->total;
    leaf->parent = root.get();
    nl->parent = root.get();
    root->children.push_back(std::move(root_));
    root->children.push_back(std::move(fresh));
    root_ = std::move(root);
    return;
  }
  SeqNode* parent = leaf->parent;
  nl->parent = parent;
  const std::size_t slot = child_index(parent, leaf) + 1;
  parent->children.insert(parent->children.begin() + slot, std::move(fresh));
  if (parent->children.size() > kFanMax)
    split_internal(parent, slot + 1 == parent->children.size() && !nl->next);
}

void Sequence::split_internal(SeqNode* node, bool at_end) {
  auto fresh = std::make_unique<SeqNode>();
  SeqNode* nn = fresh.get();
  nn->leaf = false;
  const std::size_t half = at_end ? node->children.size() - 1 : node->children.size() / 2;
  for (std::size_t k = half; k < node->children.size(); ++k) {
    auto& c = node->children[k];
    nn->visible += c->visible;
    nn->total += c->total;
    c->parent = nn;
    nn->children.push_back(std::move(c));
  }
  node->children.resize(half);
  node->visible -= nn->visible;
  node->total -= nn->total;
  if (!node->parent) {
    auto root = std::make_unique<SeqNode>();
    root->leaf = false;
    root->visible = node->visible + nn->visible;
    root->total = node->total + nn->total;
    node->parent = root.get();
    nn->parent = root.get();
    root->children.push_back(std::move(root_));
    root->children.push_back(std::move(fresh));
    root_ = std::move(root);
    return;
  }
  SeqNode* parent = node->parent;
  nn->parent = parent;
  const std::size_t slot = child_index(parent, node) + 1;
  parent->children.insert(parent->children.begin() + slot, std::move(fresh));
  if (parent->children.size() > kFanMax)
    split_internal(parent, at_end && slot + 1 == parent->children.size());
}

}  // namespace crdt::detail
