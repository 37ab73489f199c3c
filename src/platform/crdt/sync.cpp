// Saving, loading and exchanging changes between replicas.
#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "platform/crdt/detail/formats.h"

namespace crdt {

using detail::ChangeRec;
using detail::DecodedChange;
using detail::DocState;
using detail::Op;
using detail::OpId;

namespace {

zarn::Error err(std::string m) {
  return zarn::make_error(std::move(m));
}

// Applies a change whose deps are all present. On failure the state may hold part of it;
// the caller rebuilds.
zarn::Result<void> apply_decoded(DocState& d, DecodedChange& c) {
  std::vector<std::uint32_t> actor_map;
  for (const ActorId& a : c.actors) actor_map.push_back(d.intern_actor(a));
  const std::uint32_t actor = actor_map[0];
  const auto& mine = d.actor_changes[actor];
  if (c.seq != mine.size() + 1) return err("change sequence number out of order");
  if (!mine.empty()) {
    const ChangeRec& last = d.changes[mine.back()];
    if (c.start_op < last.start_op + last.op_count) return err("change reuses op ids");
  }
  ChangeRec rec;
  rec.actor = actor;
  rec.seq = c.seq;
  rec.start_op = c.start_op;
  rec.op_count = c.op_count;
  rec.time = c.time;
  rec.message = std::move(c.message);
  for (const ChangeHash& h : c.deps) {
    std::uint32_t dep = d.by_hash.at(h);
    const ChangeRec& dc = d.changes[dep];
    if (c.start_op < dc.start_op + dc.op_count) return err("change ops do not follow its deps");
    if (std::find(rec.deps.begin(), rec.deps.end(), dep) == rec.deps.end()) rec.deps.push_back(dep);
  }
  std::sort(rec.deps.begin(), rec.deps.end());
  auto map_id = [&](OpId& id) {
    if (id.counter != 0) id.actor = actor_map[id.actor];
  };
  for (Op& op : c.ops) {
    map_id(op.obj);
    map_id(op.elem);
    for (OpId& p : op.pred) map_id(p);
    ZARN_TRY(d.apply_op(op, actor, false));
  }
  rec.hash = c.hash;
  rec.hash_known = true;
  rec.encoded = std::move(c.encoded);
  d.add_change(std::move(rec));
  return zarn::ok();
}

// Drops every change from `keep` on and rebuilds the state without their ops.
void truncate(DocState& d, std::size_t keep) {
  while (d.changes.size() > keep) {
    const ChangeRec& c = d.changes.back();
    if (c.hash_known) d.by_hash.erase(c.hash);
    d.actor_changes[c.actor].pop_back();
    d.changes.pop_back();
  }
  std::vector<bool> has_child(keep, false);
  d.max_op = 0;
  for (const ChangeRec& c : d.changes) {
    for (std::uint32_t dep : c.deps) has_child[dep] = true;
    d.max_op = std::max(d.max_op, c.start_op + c.op_count - 1);
  }
  d.heads.clear();
  for (std::size_t i = 0; i < keep; ++i)
    if (!has_child[i]) d.heads.push_back(static_cast<std::uint32_t>(i));
  d.rebuild(keep);
}

// Queues decoded changes and applies every one whose deps are present, all or nothing.
// Linear in the number of changes and deps whatever order they arrive in.
zarn::Result<void> receive(DocState& d, std::vector<DecodedChange> incoming) {
  if (incoming.empty()) return zarn::ok();
  if (d.by_hash.size() < d.changes.size()) d.materialize();
  const std::size_t keep = d.changes.size();
  auto queue_before = d.queue;

  std::vector<DecodedChange> all = std::move(d.queue);
  std::unordered_set<ChangeHash, detail::ChangeHashHash> seen;
  for (const DecodedChange& c : all) seen.insert(c.hash);
  for (DecodedChange& c : incoming)
    if (!d.by_hash.count(c.hash) && seen.insert(c.hash).second) all.push_back(std::move(c));

  std::unordered_map<ChangeHash, std::vector<std::size_t>, detail::ChangeHashHash> waiters;
  std::vector<std::size_t> missing(all.size(), 0);
  std::deque<std::size_t> ready;
  for (std::size_t i = 0; i < all.size(); ++i) {
    for (const ChangeHash& h : all[i].deps)
      if (!d.by_hash.count(h)) {
        ++missing[i];
        waiters[h].push_back(i);
      }
    if (missing[i] == 0) ready.push_back(i);
  }
  std::vector<bool> done(all.size(), false);
  while (!ready.empty()) {
    std::size_t i = ready.front();
    ready.pop_front();
    const ChangeHash hash = all[i].hash;
    auto r = apply_decoded(d, all[i]);
    if (!r) {
      truncate(d, keep);
      d.queue = std::move(queue_before);
      return err("change rejected: " + r.error());
    }
    done[i] = true;
    auto w = waiters.find(hash);
    if (w == waiters.end()) continue;
    for (std::size_t j : w->second)
      if (--missing[j] == 0) ready.push_back(j);
  }
  d.queue.clear();
  for (std::size_t i = 0; i < all.size(); ++i)
    if (!done[i]) d.queue.push_back(std::move(all[i]));
  return zarn::ok();
}

zarn::Result<std::vector<DecodedChange>> decode_changes(std::span<const detail::Chunk> chunks) {
  std::vector<DecodedChange> out;
  for (const auto& c : chunks) {
    if (c.kind != detail::ChunkKind::Change)
      return err("a snapshot can only be the first chunk of a load");
    auto dc = detail::decode_change(c);
    if (!dc) return err("bad change: " + dc.error());
    out.push_back(std::move(*dc));
  }
  return out;
}

}  // namespace

Bytes Document::save() {
  impl_->commit_pending();
  impl_->saved_changes = impl_->changes.size();
  return detail::encode_snapshot(*impl_, impl_->changes.size());
}

Bytes Document::save_incremental() {
  impl_->commit_pending();
  Bytes out;
  auto& d = *impl_;
  for (std::size_t i = d.saved_changes; i < d.changes.size(); ++i) {
    if (d.changes[i].encoded.empty()) d.materialize();
    out.insert(out.end(), d.changes[i].encoded.begin(), d.changes[i].encoded.end());
  }
  d.saved_changes = d.changes.size();
  return out;
}

zarn::Result<Document> Document::load(ByteView bytes, std::optional<ActorId> actor) {
  auto chunks = detail::split_chunks(bytes);
  if (!chunks) return std::move(chunks).take_error();
  std::span<const detail::Chunk> rest = *chunks;
  std::unique_ptr<Impl> impl;
  if (!rest.empty() && rest.front().kind == detail::ChunkKind::Snapshot) {
    if (detail::snapshot_check(rest.front().body) != rest.front().check)
      return err("snapshot checksum does not match its content");
    impl = std::make_unique<Impl>();
    ZARN_TRY(detail::decode_snapshot(rest.front().body, *impl));
    rest = rest.subspan(1);
  } else {
    impl = std::make_unique<Impl>();
    impl->create_object(OpId{}, ObjType::Map);
  }
  auto decoded = decode_changes(rest);
  if (!decoded) return std::move(decoded).take_error();
  ZARN_TRY(receive(*impl, std::move(*decoded)));
  impl->self = impl->intern_actor(actor ? *actor : ActorId::random());
  impl->saved_changes = impl->changes.size();
  return Document(std::move(impl));
}

zarn::Result<void> Document::merge(Document& other) {
  if (&other == this) return zarn::ok();
  other.impl_->commit_pending();
  impl_->commit_pending();
  return apply_changes(other.changes_since(heads()));
}

Bytes Document::changes_since(std::span<const ChangeHash> heads) {
  auto& d = *impl_;
  d.commit_pending();
  d.materialize();
  std::vector<bool> seen(d.changes.size(), false);
  std::vector<std::uint32_t> stack;
  for (const ChangeHash& h : heads) {
    auto it = d.by_hash.find(h);
    if (it != d.by_hash.end()) stack.push_back(it->second);
  }
  while (!stack.empty()) {
    std::uint32_t i = stack.back();
    stack.pop_back();
    if (seen[i]) continue;
    seen[i] = true;
    for (std::uint32_t dep : d.changes[i].deps) stack.push_back(dep);
  }
  Bytes out;
  for (std::size_t i = 0; i < d.changes.size(); ++i)
    if (!seen[i]) out.insert(out.end(), d.changes[i].encoded.begin(), d.changes[i].encoded.end());
  return out;
}

zarn::Result<void> Document::apply_changes(ByteView bytes) {
  impl_->commit_pending();
  auto chunks = detail::split_chunks(bytes);
  if (!chunks) return std::move(chunks).take_error();
  auto decoded = decode_changes(*chunks);
  if (!decoded) return std::move(decoded).take_error();
  return receive(*impl_, std::move(*decoded));
}

}  // namespace crdt
