#include "platform/crdt/document.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/crdt/detail/codec.h"
#include "platform/crdt/detail/formats.h"
#include "platform/crdt/detail/state.h"

namespace crdt {

using detail::Action;
using detail::DocState;
using detail::ElemExtra;
using detail::ElemOp;
using detail::MapOp;
using detail::Object;
using detail::Op;
using detail::OpId;
using detail::Payload;
using detail::Run;
using detail::Sequence;

namespace {

std::string hex(const std::uint8_t* p, std::size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    s.push_back(digits[p[i] >> 4]);
    s.push_back(digits[p[i] & 15]);
  }
  return s;
}

zarn::Error err(std::string m) {
  return zarn::make_error(std::move(m));
}

const char* type_name(ObjType t) {
  switch (t) {
    case ObjType::Map:
      return "map";
    case ObjType::List:
      return "list";
    case ObjType::Text:
      return "text";
  }
  return "?";
}

}  // namespace

// ---------------------------------------------------------------- small public types

ActorId ActorId::random() {
  [[maybe_unused]] static const int init = sodium_init();
  ActorId a;
  randombytes_buf(a.bytes.data(), a.bytes.size());
  return a;
}

std::string ActorId::to_hex() const {
  return hex(bytes.data(), bytes.size());
}
std::string ChangeHash::to_hex() const {
  return hex(bytes.data(), bytes.size());
}

const std::string* Value::as_str() const {
  if (auto* s = std::get_if<Scalar>(&v)) return std::get_if<std::string>(s);
  return nullptr;
}
template <typename T>
static std::optional<T> scalar_as(const Value& v) {
  if (auto* s = std::get_if<Scalar>(&v.v))
    if (auto* t = std::get_if<T>(s)) return *t;
  return std::nullopt;
}
std::optional<std::int64_t> Value::as_int() const {
  return scalar_as<std::int64_t>(*this);
}
std::optional<std::uint64_t> Value::as_uint() const {
  return scalar_as<std::uint64_t>(*this);
}
std::optional<double> Value::as_f64() const {
  return scalar_as<double>(*this);
}
std::optional<bool> Value::as_bool() const {
  return scalar_as<bool>(*this);
}
std::optional<std::int64_t> Value::as_counter() const {
  if (auto c = scalar_as<Counter>(*this)) return c->value;
  return std::nullopt;
}
std::optional<std::int64_t> Value::as_timestamp() const {
  if (auto t = scalar_as<Timestamp>(*this)) return t->millis;
  return std::nullopt;
}
bool Value::is_null() const {
  return scalar_as<Null>(*this).has_value();
}
std::optional<ObjId> Value::as_obj(ObjType type) const {
  if (auto* r = std::get_if<ObjRef>(&v))
    if (r->type == type) return r->id;
  return std::nullopt;
}

// ---------------------------------------------------------------- Impl helpers

std::uint32_t DocState::intern_actor(const ActorId& a) {
  auto [it, fresh] = actor_index.try_emplace(a, static_cast<std::uint32_t>(actors.size()));
  if (fresh) {
    actors.push_back(a);
    actor_changes.emplace_back();
  }
  return it->second;
}

bool DocState::id_less(OpId a, OpId b) const {
  if (a.counter != b.counter) return a.counter < b.counter;
  return actors[a.actor] < actors[b.actor];
}

bool DocState::id_less_ctx(const void* ctx, OpId a, OpId b) {
  return static_cast<const DocState*>(ctx)->id_less(a, b);
}

void detail::ObjectIndex::reserve(std::size_t n) {
  // Load factor at most one half keeps probe runs short.
  if (2 * n > slots_.size()) grow(2 * n);
}

void detail::ObjectIndex::grow(std::size_t min_slots) {
  std::size_t size = 16;
  unsigned bits = 4;
  while (size < min_slots) {
    size *= 2;
    ++bits;
  }
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(size, Slot{});
  mask_ = size - 1;
  shift_ = 64 - (bits - kBlockBits);
  used_ = 0;
  for (const Slot& s : old)
    if (s.obj) put(OpId{s.counter, s.actor}, s.obj);
}

void detail::ObjectIndex::put(OpId id, Object* obj) {
  if (2 * (used_ + 1) > slots_.size()) grow(2 * (used_ + 1));
  for (std::size_t i = home(id);; i = (i + 1) & mask_) {
    Slot& s = slots_[i];
    if (!s.obj) {
      s = Slot{id.counter, id.actor, obj};
      ++used_;
      return;
    }
    if (s.counter == id.counter && s.actor == id.actor) {
      s.obj = obj;
      return;
    }
  }
}

Object* DocState::object(OpId id) {
  return object_index.find(id);
}
const Object* DocState::object(OpId id) const {
  return object_index.find(id);
}

std::optional<OpId> DocState::resolve(const ObjId& id) const {
  if (id.is_root()) return OpId{};
  auto a = actor_index.find(id.actor);
  if (a == actor_index.end()) return std::nullopt;
  return OpId{id.counter, a->second};
}

const Object* DocState::find(const ObjId& id) const {
  auto o = resolve(id);
  return o ? object(*o) : nullptr;
}

ObjId DocState::external(OpId id) const {
  if (id.counter == 0) return ObjId::root();
  return ObjId{id.counter, actors[id.actor]};
}

Value DocState::value_of(const Payload& p, OpId id, std::int64_t inc_total) const {
  if (p.make) return Value{ObjRef{*p.make, external(id)}};
  if (auto* c = std::get_if<Counter>(&p.scalar))
    return Value{Scalar{Counter{static_cast<std::int64_t>(static_cast<std::uint64_t>(c->value) +
                                                          static_cast<std::uint64_t>(inc_total))}}};
  return Value{p.scalar};
}

std::optional<Value> DocState::elem_value(const Object& o, const Sequence::Pos& p) const {
  return elem_value(o, o.seq->run_at(p), p.off);
}

std::optional<Value> DocState::elem_value(const Object& o, const Run& r, std::uint32_t off) const {
  if (o.type == ObjType::Text) {
    std::string s;
    detail::utf8_append(s, r.chars[off]);
    return Value{Scalar{std::move(s)}};
  }
  OpId id;
  const Payload* p = elem_winner(o, r, off, &id);
  if (!p) return std::nullopt;
  return value_of(*p, id, 0);
}

const Payload* DocState::elem_winner(const Object& o, const Run& r, std::uint32_t off,
                                     OpId* id) const {
  *id = r.id_at(off);
  auto ex = o.extras.empty() ? o.extras.end() : o.extras.find(*id);
  if (ex == o.extras.end()) return &r.values[off];
  const Payload* best = ex->second.insert_visible ? &r.values[off] : nullptr;
  for (const ElemOp& e : ex->second.ops)
    if (e.visible && (!best || id_less(*id, e.id))) {
      best = &e.payload;
      *id = e.id;
    }
  return best;
}

std::vector<const MapOp*> DocState::visible_ops(const Object& o, std::string_view key) const {
  std::vector<const MapOp*> out;
  auto it = o.keys.find(key);
  if (it == o.keys.end()) return out;
  for (const MapOp& m : it->second)
    if (m.visible) out.push_back(&m);
  std::sort(out.begin(), out.end(),
            [&](const MapOp* a, const MapOp* b) { return id_less(b->id, a->id); });
  return out;
}

const MapOp* DocState::winner(const std::vector<MapOp>& ops) const {
  const MapOp* best = nullptr;
  for (const MapOp& m : ops)
    if (m.visible && (!best || id_less(best->id, m.id))) best = &m;
  return best;
}

Object* DocState::create_object(OpId id, ObjType type) {
  auto o = std::make_unique<Object>();
  o->type = type;
  if (type != ObjType::Map) o->seq = std::make_unique<Sequence>(type == ObjType::Text);
  Object* raw = o.get();
  objects[id] = std::move(o);
  object_index.put(id, raw);
  return raw;
}

void DocState::refresh_visibility(Object& o, OpId elem) {
  auto pos = o.seq->find(elem);
  if (!pos) return;
  const ElemExtra& ex = o.extras[elem];
  bool vis = ex.insert_visible;
  for (const ElemOp& e : ex.ops) vis = vis || e.visible;
  o.seq->set_visible(*pos, vis);
}

zarn::Result<void> DocState::apply_op(const Op& op, std::uint32_t actor, bool local,
                                      const Sequence::Pos* at, Object* target) {
  ++revision;
  Object* o = target ? target : object(op.obj);
  if (!o) return err("op refers to an unknown object");
  const OpId id{op.counter, actor};
  auto want = [&](bool ok, const char* what) -> zarn::Result<void> {
    if (!ok) return err(std::string(what) + " op on a " + type_name(o->type));
    return zarn::ok();
  };
  if (op.payload.make && objects.count(id)) return err("object created twice");
  switch (op.action) {
    case Action::MapPut:
    case Action::MapDel:
    case Action::MapInc: {
      ZARN_TRY(want(o->type == ObjType::Map, "map"));
      if (op.action == Action::MapInc && !std::holds_alternative<std::int64_t>(op.payload.scalar))
        return err("increment without an integer amount");
      auto& ops = o->keys[op.key];
      for (const OpId& p : op.pred) {
        // Newest first: a pred usually names the latest ops.
        MapOp* it = nullptr;
        for (std::size_t k = ops.size(); k-- > 0;)
          if (ops[k].id == p) {
            it = &ops[k];
            break;
          }
        if (!it) {
          if (ops.empty()) o->keys.erase(op.key);
          return err("pred names an op not under this key");
        }
        {
          if (it->action != Action::MapPut) continue;
          if (op.action == Action::MapInc) {
            if (std::holds_alternative<Counter>(it->payload.scalar) && !it->payload.make)
              it->inc_total = static_cast<std::int64_t>(
                  static_cast<std::uint64_t>(it->inc_total) +
                  static_cast<std::uint64_t>(std::get<std::int64_t>(op.payload.scalar)));
          } else {
            it->visible = false;
          }
        }
      }
      MapOp m{id, op.action, op.payload, op.pred, op.action == Action::MapPut, 0};
      ops.push_back(std::move(m));
      if (op.payload.make) create_object(id, *op.payload.make);
      return zarn::ok();
    }
    case Action::SeqInsert:
    case Action::TextInsert: {
      const bool text = op.action == Action::TextInsert;
      ZARN_TRY(want(o->type == (text ? ObjType::Text : ObjType::List), text ? "text" : "list"));
      if (text && op.text.empty()) return err("empty text insert");
      if (!local && op.elem.counter != 0 && !o->seq->find(op.elem))
        return err("insert after an unknown element");
      Run r;
      r.start = id;
      r.origin = op.elem;
      if (text) {
        r.len = static_cast<std::uint32_t>(op.text.size());
        r.chars = op.text;
      } else {
        r.len = 1;
        r.values.push_back(op.payload);
      }
      if (local) {
        std::optional<Sequence::Pos> after;
        if (at) after = *at;
        o->seq->insert_local(after, std::move(r));
      } else {
        o->seq->insert_remote(std::move(r), this, &DocState::id_less_ctx);
      }
      if (op.payload.make && !text) create_object(id, *op.payload.make);
      return zarn::ok();
    }
    case Action::SeqSet:
    case Action::SeqDel: {
      if (op.action == Action::SeqSet)
        ZARN_TRY(want(o->type == ObjType::List, "list set"));
      else
        ZARN_TRY(want(o->type != ObjType::Map, "element delete"));
      auto pos = at ? std::optional<Sequence::Pos>(*at) : o->seq->find(op.elem);
      if (!pos) return err("op on an unknown element");
      const bool plain_deleted =
          o->seq->run_at(*pos).deleted && o->seq->run_at(*pos).dels[pos->off].counter != 0;
      auto ex_it = o->extras.empty() ? o->extras.end() : o->extras.find(op.elem);
      // The common case stays in the run: deleting an untouched element.
      if (op.action == Action::SeqDel && ex_it == o->extras.end() && !plain_deleted &&
          !o->seq->run_at(*pos).deleted && op.pred.size() == 1 && op.pred[0] == op.elem) {
        o->seq->set_visible(*pos, false, id);
        return zarn::ok();
      }
      // Every pred must name the inserted value or an earlier op on this element.
      for (const OpId& p : op.pred) {
        if (p == op.elem) continue;
        bool known = ex_it != o->extras.end() &&
                     std::any_of(ex_it->second.ops.begin(), ex_it->second.ops.end(),
                                 [&](const ElemOp& e) { return e.id == p; });
        if (!known && plain_deleted && o->seq->run_at(*pos).dels[pos->off] == p) known = true;
        if (!known) return err("pred names an op not on this element");
      }
      ElemExtra& ex = o->extras[op.elem];
      if (plain_deleted) {
        ex.insert_visible = false;
        ex.ops.push_back(
            ElemOp{o->seq->run_at(*pos).dels[pos->off], Action::SeqDel, {}, {op.elem}, false});
        o->seq->clear_deleter(*pos);
      }
      for (const OpId& p : op.pred) {
        if (p == op.elem) {
          ex.insert_visible = false;
          continue;
        }
        for (ElemOp& e : ex.ops)
          if (e.id == p) e.visible = false;
      }
      ex.ops.push_back(ElemOp{id, op.action, op.payload, op.pred, op.action == Action::SeqSet});
      if (op.payload.make) create_object(id, *op.payload.make);
      refresh_visibility(*o, op.elem);
      return zarn::ok();
    }
  }
  return err("unknown op action");
}

std::uint32_t DocState::add_change(detail::ChangeRec rec) {
  const auto idx = static_cast<std::uint32_t>(changes.size());
  for (std::uint32_t d : rec.deps) std::erase(heads, d);
  heads.push_back(idx);
  actor_changes[rec.actor].push_back(idx);
  max_op = std::max(max_op, rec.start_op + rec.op_count - 1);
  if (rec.hash_known) by_hash[rec.hash] = idx;
  changes.push_back(std::move(rec));
  return idx;
}

std::optional<std::uint32_t> DocState::change_of(OpId id) const {
  if (id.actor >= actor_changes.size()) return std::nullopt;
  const auto& list = actor_changes[id.actor];
  auto it =
      std::upper_bound(list.begin(), list.end(), id.counter,
                       [&](std::uint64_t c, std::uint32_t i) { return c < changes[i].start_op; });
  if (it == list.begin()) return std::nullopt;
  const auto& rec = changes[*(it - 1)];
  if (id.counter - rec.start_op >= rec.op_count) return std::nullopt;
  return *(it - 1);
}

void DocState::commit_pending(std::optional<std::int64_t> time, std::string message) {
  if (pending.empty()) return;
  detail::ChangeRec rec;
  rec.actor = self;
  rec.seq = actor_changes[self].size() + 1;
  rec.start_op = pending_start;
  rec.op_count = pending_width;
  rec.time = time ? *time : static_cast<std::int64_t>(std::time(nullptr));
  rec.message = std::move(message);
  rec.deps = heads;
  std::sort(rec.deps.begin(), rec.deps.end());
  detail::encode_change(*this, rec, std::move(pending));
  pending.clear();
  pending_width = 0;
  add_change(std::move(rec));
}

void DocState::materialize() {
  std::vector<bool> wanted(changes.size(), false);
  bool any = false;
  for (std::size_t i = 0; i < changes.size(); ++i)
    if (changes[i].encoded.empty()) wanted[i] = any = true;
  if (!any) return;
  auto ops = detail::ops_by_change(*this, wanted);
  for (std::size_t i = 0; i < changes.size(); ++i) {
    if (!wanted[i]) continue;
    // Loaded heads carry their hash already; the rebuilt one is what the content says.
    if (changes[i].hash_known) by_hash.erase(changes[i].hash);
    detail::encode_change(*this, changes[i], std::move(ops[i]));
    by_hash[changes[i].hash] = static_cast<std::uint32_t>(i);
  }
}

void DocState::rebuild(std::size_t keep_changes) {
  Bytes snap = encode_snapshot(*this, keep_changes);
  auto chunks = split_chunks(snap);
  DocState fresh;
  // Our own encoder's output always decodes; anything else is a programming error.
  if (!chunks || !decode_snapshot((*chunks)[0].body, fresh)) std::abort();
  objects = std::move(fresh.objects);
  object_index = std::move(fresh.object_index);
  ++revision;
  pending.clear();
  pending_width = 0;
}

// ---------------------------------------------------------------- Document

Document::Document() : Document(ActorId::random()) {}

static std::uint64_t random_revision() {
  ActorId bytes = ActorId::random();
  std::uint64_t r;
  std::memcpy(&r, bytes.bytes.data(), sizeof r);
  return r;
}

Document::Document(ActorId actor) : impl_(std::make_unique<Impl>()) {
  impl_->self = impl_->intern_actor(actor);
  impl_->create_object(OpId{}, ObjType::Map);
  impl_->revision = random_revision();
}

Document::Document(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
  impl_->revision = random_revision();
}
Document::~Document() = default;
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;

Document Document::fork(std::optional<ActorId> actor) const {
  Bytes snap = detail::encode_snapshot(*impl_, impl_->changes.size());
  auto chunks = detail::split_chunks(snap);
  auto fresh = std::make_unique<Impl>();
  Impl& f = *fresh;
  // Our own encoder's output always decodes; anything else is a programming error.
  if (!chunks || !detail::decode_snapshot((*chunks)[0].body, f)) std::abort();
  f.changes = impl_->changes;
  f.by_hash = impl_->by_hash;
  f.heads = impl_->heads;
  f.queue = impl_->queue;
  f.saved_changes = f.changes.size();
  f.self = f.intern_actor(actor ? *actor : ActorId::random());
  return Document(std::move(fresh));
}

const ActorId& Document::actor() const {
  return impl_->actors[impl_->self];
}

Bytes Document::actor_bytes() const {
  const auto& b = actor().bytes;
  return Bytes(b.begin(), b.end());
}

void Document::set_actor(ActorId actor) {
  if (!impl_->pending.empty()) return;
  impl_->self = impl_->intern_actor(actor);
}

// ---- reads

std::optional<Value> Document::get(const ObjId& obj, std::string_view key) const {
  const Object* o = impl_->find(obj);
  if (!o) return std::nullopt;
  if (o->type != ObjType::Map) return std::nullopt;
  auto it = o->keys.find(key);
  if (it == o->keys.end()) return std::nullopt;
  const MapOp* m = impl_->winner(it->second);
  if (!m) return std::nullopt;
  return impl_->value_of(m->payload, m->id, m->inc_total);
}

std::optional<Value> Document::get(const ObjId& obj, std::size_t index) const {
  const Object* o = impl_->find(obj);
  if (!o) return std::nullopt;
  if (o->type == ObjType::Map || index >= o->seq->visible()) return std::nullopt;
  return impl_->elem_value(*o, o->seq->find_visible(index));
}

std::vector<Value> Document::get_all(const ObjId& obj, std::string_view key) const {
  std::vector<Value> out;
  const Object* o = impl_->find(obj);
  if (!o) return out;
  if (o->type != ObjType::Map) return out;
  for (const MapOp* m : impl_->visible_ops(*o, key))
    out.push_back(impl_->value_of(m->payload, m->id, m->inc_total));
  return out;
}

std::vector<std::string> Document::keys(const ObjId& obj) const {
  std::vector<std::string> out;
  const Object* o = impl_->find(obj);
  if (!o) return out;
  for (const auto& [k, ops] : o->keys)
    if (std::any_of(ops.begin(), ops.end(), [](const MapOp& m) { return m.visible; }))
      out.push_back(k);
  return out;
}

std::size_t Document::length(const ObjId& obj) const {
  const Object* o = impl_->find(obj);
  if (!o) return 0;
  if (o->type != ObjType::Map) return o->seq->visible();
  return std::count_if(o->keys.begin(), o->keys.end(), [](const auto& k) {
    return std::any_of(k.second.begin(), k.second.end(), [](const MapOp& m) { return m.visible; });
  });
}

std::string Document::text(const ObjId& obj) const {
  std::string out;
  const Object* o = impl_->find(obj);
  if (!o) return out;
  if (o->type != ObjType::Text) return out;
  out.reserve(o->seq->visible());
  o->seq->for_each_run([&](const Run& r) {
    if (r.deleted) return;
    for (char32_t c : r.chars) {
      if (c < 0x80)
        out.push_back(static_cast<char>(c));
      else
        detail::utf8_append(out, c);
    }
  });
  return out;
}

std::vector<Value> Document::list_values(const ObjId& list) const {
  std::vector<Value> out;
  const Object* o = impl_->find(list);
  if (!o || o->type == ObjType::Map) return out;
  out.reserve(o->seq->visible());
  o->seq->for_each_run([&](const Run& r) {
    if (r.deleted) return;
    for (std::uint32_t k = 0; k < r.len; ++k)
      if (auto v = impl_->elem_value(*o, r, k)) out.push_back(std::move(*v));
  });
  return out;
}

std::vector<std::pair<std::string, Value>> Document::map_entries(const ObjId& map) const {
  std::vector<std::pair<std::string, Value>> out;
  const Object* o = impl_->find(map);
  if (!o || o->type != ObjType::Map) return out;
  out.reserve(o->keys.size());
  for (const auto& [k, ops] : o->keys)
    if (const MapOp* m = impl_->winner(ops))
      out.emplace_back(k, impl_->value_of(m->payload, m->id, m->inc_total));
  return out;
}

std::vector<std::optional<Value>> Document::list_field(const ObjId& list,
                                                       std::string_view key) const {
  std::vector<std::optional<Value>> out;
  const Object* o = impl_->find(list);
  if (!o || o->type != ObjType::List) return out;
  out.reserve(o->seq->visible());
  o->seq->for_each_run([&](const Run& r) {
    if (r.deleted) return;
    for (std::uint32_t k = 0; k < r.len; ++k) {
      OpId id;
      const Payload* p = impl_->elem_winner(*o, r, k, &id);
      if (!p) continue;
      std::optional<Value> field;
      // The element's map is the object its winning op created, found by that op's id.
      const Object* m = p->make == ObjType::Map ? impl_->object(id) : nullptr;
      if (m) {
        auto it = m->keys.find(key);
        const MapOp* w = it == m->keys.end() ? nullptr : impl_->winner(it->second);
        if (w) field = impl_->value_of(w->payload, w->id, w->inc_total);
      }
      out.push_back(std::move(field));
    }
  });
  return out;
}

void MapView::visit_elements(const DocState& d, const Object& list,
                             void (*call)(void*, const MapView&), void* f) {
  if (list.type != ObjType::List || list.seq->visible() == 0) return;
  // Element maps are found first and visited after: independent lookups overlap their cache
  // misses, and each map is asked for a few elements ahead of its visit.
  std::vector<const Object*> maps;
  maps.reserve(list.seq->visible());
  list.seq->for_each_run([&](const Run& r) {
    if (r.deleted) return;
    for (std::uint32_t k = 0; k < r.len; ++k) {
      OpId id;
      const Payload* p = d.elem_winner(list, r, k, &id);
      // The element's map is the object its winning op created, found by that op's id.
      if (p && p->make == ObjType::Map) maps.push_back(d.object(id));
    }
  });
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < maps.size(); ++i) {
    if (i + kAhead < maps.size() && maps[i + kAhead]) __builtin_prefetch(maps[i + kAhead]);
    if (i + kAhead / 2 < maps.size() && maps[i + kAhead / 2]) maps[i + kAhead / 2]->keys.prefetch();
    call(f, MapView(&d, maps[i]));
  }
}

void Document::visit_list_maps(const ObjId& list, void (*call)(void*, const MapView&),
                               void* f) const {
  if (const Object* o = impl_->find(list)) MapView::visit_elements(*impl_, *o, call, f);
}

void MapView::visit_list_maps(std::string_view key, void (*call)(void*, const MapView&),
                              void* f) const {
  if (!map_) return;
  auto it = map_->keys.find(key);
  if (it == map_->keys.end()) return;
  const detail::MapOp* m = state_->winner(it->second);
  if (!m || m->payload.make != ObjType::List) return;
  // The op id is already the document's own: no lookup through the external id.
  if (const Object* list = state_->object(m->id)) visit_elements(*state_, *list, call, f);
}

std::optional<Value> MapView::get(std::string_view key) const {
  if (!map_) return std::nullopt;
  auto it = map_->keys.find(key);
  if (it == map_->keys.end()) return std::nullopt;
  const detail::MapOp* m = state_->winner(it->second);
  if (!m) return std::nullopt;
  return state_->value_of(m->payload, m->id, m->inc_total);
}

const std::string* MapView::str(std::string_view key) const {
  if (!map_) return nullptr;
  auto it = map_->keys.find(key);
  if (it == map_->keys.end()) return nullptr;
  const detail::MapOp* m = state_->winner(it->second);
  if (!m || m->payload.make) return nullptr;
  return std::get_if<std::string>(&m->payload.scalar);
}

std::optional<ObjId> MapView::obj(std::string_view key, ObjType type) const {
  if (!map_) return std::nullopt;
  auto it = map_->keys.find(key);
  if (it == map_->keys.end()) return std::nullopt;
  const detail::MapOp* m = state_->winner(it->second);
  if (!m || m->payload.make != type) return std::nullopt;
  return state_->external(m->id);
}

std::optional<ObjType> Document::object_type(const ObjId& obj) const {
  const Object* o = impl_->find(obj);
  if (!o) return std::nullopt;
  return o->type;
}

// ---- writes

namespace {

struct Target {
  OpId id;
  Object* obj;
};

zarn::Result<Target> target(DocState& d, const ObjId& obj, bool want_map,
                            std::optional<ObjType> seq_type) {
  auto id = d.resolve(obj);
  Object* o = id ? d.object(*id) : nullptr;
  if (!o) return err("unknown object");
  if (want_map && o->type != ObjType::Map)
    return err(std::string("expected a map, found a ") + type_name(o->type));
  if (!want_map && o->type != *seq_type)
    return err(std::string("expected a ") + type_name(*seq_type) + ", found a " +
               type_name(o->type));
  return Target{*id, o};
}

}  // namespace

// Runs one local op: assigns its id, applies it and records it in the open transaction.
static zarn::Result<void> local_op(DocState& d, Op op, const Sequence::Pos* at = nullptr,
                                   Object* target = nullptr) {
  if (d.pending.empty()) d.pending_start = d.max_op + 1;
  op.counter = d.max_op + 1;
  ZARN_TRY(d.apply_op(op, d.self, true, at, target));
  d.max_op += op.width();
  d.pending_width += op.width();
  if (op.action == Action::TextInsert && !d.pending.empty()) {
    Op& last = d.pending.back();
    if (last.action == Action::TextInsert && last.obj == op.obj &&
        last.counter + last.text.size() == op.counter && op.elem == OpId{op.counter - 1, d.self}) {
      last.text += op.text;
      return zarn::ok();
    }
  }
  d.pending.push_back(std::move(op));
  return zarn::ok();
}

static std::vector<OpId> map_pred(const DocState& d, const Object& o, std::string_view key) {
  std::vector<OpId> pred;
  for (const MapOp* m : d.visible_ops(o, key)) pred.push_back(m->id);
  return pred;
}

static std::vector<OpId> elem_pred(const Object& o, const Sequence::Pos& p) {
  OpId id = o.seq->run_at(p).id_at(p.off);
  auto ex = o.extras.empty() ? o.extras.end() : o.extras.find(id);
  if (ex == o.extras.end()) return {id};
  std::vector<OpId> pred;
  if (ex->second.insert_visible) pred.push_back(id);
  for (const ElemOp& e : ex->second.ops)
    if (e.visible) pred.push_back(e.id);
  return pred;
}

static zarn::Result<OpId> map_write(DocState& d, const ObjId& map, std::string_view key,
                                    Payload payload) {
  auto t = target(d, map, true, std::nullopt);
  if (!t) return std::move(t).take_error();
  Op op;
  op.action = Action::MapPut;
  op.obj = t->id;
  op.key = std::string(key);
  op.payload = std::move(payload);
  op.pred = map_pred(d, *t->obj, key);
  ZARN_TRY(local_op(d, std::move(op)));
  return OpId{d.max_op, d.self};
}

static zarn::Result<void> check_scalar(const Scalar& s) {
  if (auto* str = std::get_if<std::string>(&s))
    if (!detail::utf8_decode(*str)) return err("string is not valid UTF-8");
  return zarn::ok();
}

zarn::Result<void> Document::put(const ObjId& map, std::string_view key, Scalar value) {
  ZARN_TRY(check_scalar(value));
  auto r = map_write(*impl_, map, key, Payload{std::move(value), std::nullopt});
  if (!r) return std::move(r).take_error();
  return zarn::ok();
}

zarn::Result<ObjId> Document::put_object(const ObjId& map, std::string_view key, ObjType type) {
  auto r = map_write(*impl_, map, key, Payload{Null{}, type});
  if (!r) return std::move(r).take_error();
  return impl_->external(*r);
}

static zarn::Result<OpId> seq_set(DocState& d, const ObjId& list, std::size_t index,
                                  Payload payload) {
  auto t = target(d, list, false, ObjType::List);
  if (!t) return std::move(t).take_error();
  if (index >= t->obj->seq->visible()) return err("index out of range");
  auto pos = t->obj->seq->find_visible(index);
  Op op;
  op.action = Action::SeqSet;
  op.obj = t->id;
  op.elem = t->obj->seq->run_at(pos).id_at(pos.off);
  op.payload = std::move(payload);
  op.pred = elem_pred(*t->obj, pos);
  ZARN_TRY(local_op(d, std::move(op), &pos, t->obj));
  return OpId{d.max_op, d.self};
}

zarn::Result<void> Document::set(const ObjId& list, std::size_t index, Scalar value) {
  ZARN_TRY(check_scalar(value));
  auto r = seq_set(*impl_, list, index, Payload{std::move(value), std::nullopt});
  if (!r) return std::move(r).take_error();
  return zarn::ok();
}

zarn::Result<ObjId> Document::set_object(const ObjId& list, std::size_t index, ObjType type) {
  auto r = seq_set(*impl_, list, index, Payload{Null{}, type});
  if (!r) return std::move(r).take_error();
  return impl_->external(*r);
}

static zarn::Result<OpId> seq_insert(DocState& d, const Target& t, std::size_t index,
                                     Payload payload) {
  Op op;
  op.action = Action::SeqInsert;
  op.obj = t.id;
  std::optional<Sequence::Pos> pos;
  if (index > 0) {
    pos = t.obj->seq->find_visible(index - 1);
    op.elem = t.obj->seq->run_at(*pos).id_at(pos->off);
  }
  op.payload = std::move(payload);
  ZARN_TRY(local_op(d, std::move(op), pos ? &*pos : nullptr, t.obj));
  return OpId{d.max_op, d.self};
}

zarn::Result<void> Document::insert(const ObjId& list, std::size_t index, Scalar value) {
  return splice(list, index, 0, std::span<const Scalar>(&value, 1));
}

zarn::Result<ObjId> Document::insert_object(const ObjId& list, std::size_t index, ObjType type) {
  auto t = target(*impl_, list, false, ObjType::List);
  if (!t) return std::move(t).take_error();
  if (index > t->obj->seq->visible()) return err("index out of range");
  auto r = seq_insert(*impl_, *t, index, Payload{Null{}, type});
  if (!r) return std::move(r).take_error();
  return impl_->external(*r);
}

zarn::Result<void> Document::delete_key(const ObjId& map, std::string_view key) {
  auto t = target(*impl_, map, true, std::nullopt);
  if (!t) return std::move(t).take_error();
  auto pred = map_pred(*impl_, *t->obj, key);
  if (pred.empty()) return zarn::ok();  // nothing to delete
  Op op;
  op.action = Action::MapDel;
  op.obj = t->id;
  op.key = std::string(key);
  op.pred = std::move(pred);
  return local_op(*impl_, std::move(op));
}

// Deletes `count` visible elements starting at `pos` of a list or text.
static zarn::Result<void> seq_delete(DocState& d, const Target& t, std::size_t pos,
                                     std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) {
    auto p = t.obj->seq->find_visible(pos);
    Op op;
    op.action = Action::SeqDel;
    op.obj = t.id;
    op.elem = t.obj->seq->run_at(p).id_at(p.off);
    op.pred = elem_pred(*t.obj, p);
    ZARN_TRY(local_op(d, std::move(op), &p, t.obj));
  }
  return zarn::ok();
}

zarn::Result<void> Document::delete_at(const ObjId& list, std::size_t index) {
  auto id = impl_->resolve(list);
  Object* o = id ? impl_->object(*id) : nullptr;
  if (!o) return err("unknown object");
  if (o->type == ObjType::Map) return err("expected a list or text, found a map");
  if (index >= o->seq->visible()) return err("index out of range");
  return seq_delete(*impl_, Target{*id, o}, index, 1);
}

zarn::Result<void> Document::splice(const ObjId& list, std::size_t pos, std::size_t del,
                                    std::span<const Scalar> values) {
  auto t = target(*impl_, list, false, ObjType::List);
  if (!t) return std::move(t).take_error();
  const std::size_t len = t->obj->seq->visible();
  if (pos > len || del > len - pos) return err("index out of range");
  for (const Scalar& v : values) ZARN_TRY(check_scalar(v));
  ZARN_TRY(seq_delete(*impl_, *t, pos, del));
  for (std::size_t k = 0; k < values.size(); ++k) {
    auto r = seq_insert(*impl_, *t, pos + k, Payload{values[k], std::nullopt});
    if (!r) return std::move(r).take_error();
  }
  return zarn::ok();
}

zarn::Result<void> Document::splice_text(const ObjId& text, std::size_t pos, std::size_t del,
                                         std::string_view insert) {
  auto t = target(*impl_, text, false, ObjType::Text);
  if (!t) return std::move(t).take_error();
  auto chars = detail::utf8_decode(insert);
  if (!chars) return err("text is not valid UTF-8: " + chars.error());
  const std::size_t len = t->obj->seq->visible();
  if (pos > len || del > len - pos) return err("index out of range");
  ZARN_TRY(seq_delete(*impl_, *t, pos, del));
  if (chars->empty()) return zarn::ok();
  Op op;
  op.action = Action::TextInsert;
  op.obj = t->id;
  std::optional<Sequence::Pos> at;
  if (pos > 0) {
    at = t->obj->seq->find_visible(pos - 1);
    op.elem = t->obj->seq->run_at(*at).id_at(at->off);
  }
  op.text = std::move(*chars);
  return local_op(*impl_, std::move(op), at ? &*at : nullptr, t->obj);
}

zarn::Result<void> Document::increment(const ObjId& map, std::string_view key, std::int64_t by) {
  auto t = target(*impl_, map, true, std::nullopt);
  if (!t) return std::move(t).take_error();
  std::vector<OpId> pred;
  for (const MapOp* m : impl_->visible_ops(*t->obj, key))
    if (!m->payload.make && std::holds_alternative<Counter>(m->payload.scalar))
      pred.push_back(m->id);
  if (pred.empty()) return err("no counter under this key");
  Op op;
  op.action = Action::MapInc;
  op.obj = t->id;
  op.key = std::string(key);
  op.payload.scalar = by;
  op.pred = std::move(pred);
  return local_op(*impl_, std::move(op));
}

// ---- transactions

std::size_t Document::pending_ops() const {
  return impl_->pending_width;
}

std::optional<ChangeHash> Document::commit(std::string message, std::optional<std::int64_t> time) {
  if (impl_->pending.empty()) return std::nullopt;
  impl_->commit_pending(time, std::move(message));
  return impl_->changes.back().hash;
}

void Document::rollback() {
  if (impl_->pending.empty()) return;
  impl_->max_op = impl_->pending_start - 1;
  impl_->rebuild(impl_->changes.size());
}

std::uint64_t Document::revision() const {
  return impl_->revision;
}

std::vector<ChangeHash> Document::heads() const {
  std::vector<ChangeHash> out;
  for (std::uint32_t i : impl_->heads) out.push_back(impl_->changes[i].hash);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<ChangeInfo> Document::changes() const {
  impl_->materialize();
  std::vector<ChangeInfo> out;
  out.reserve(impl_->changes.size());
  for (const auto& c : impl_->changes) {
    ChangeInfo info{
        c.hash, impl_->actors[c.actor], c.seq, c.start_op, c.op_count, c.time, c.message, {}};
    for (std::uint32_t d : c.deps) info.deps.push_back(impl_->changes[d].hash);
    std::sort(info.deps.begin(), info.deps.end());
    out.push_back(std::move(info));
  }
  return out;
}

std::size_t Document::change_count() const {
  return impl_->changes.size();
}

std::size_t Document::queued_changes() const {
  return impl_->queue.size();
}

}  // namespace crdt
