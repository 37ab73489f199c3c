// Change chunks: one change in a canonical row encoding. The hash covers the body, so the
// encoding must be a pure function of the change: ops sorted by counter, consecutive text
// inserts merged, pred sorted, referenced actors sorted.
#include <sodium.h>

#include <algorithm>

#include "platform/crdt/detail/formats.h"

namespace crdt::detail {
namespace {

constexpr std::uint8_t kMagic[4] = {'Z', 'C', 'R', 'D'};

zarn::Error err(std::string m) {
  return zarn::make_error(std::move(m));
}

ChangeHash sha256(ByteView body) {
  [[maybe_unused]] static const int init = sodium_init();
  ChangeHash h;
  crypto_hash_sha256(h.bytes.data(), body.data(), body.size());
  return h;
}

bool is_map_action(Action a) {
  return a == Action::MapPut || a == Action::MapDel || a == Action::MapInc;
}

}  // namespace

void write_frame(Bytes& out, ChunkKind kind, ByteView body, const std::uint8_t* check4) {
  Writer w;
  w.raw(kMagic, 4);
  w.u8(static_cast<std::uint8_t>(kind));
  w.uleb(body.size());
  w.raw(check4, 4);
  out.insert(out.end(), w.bytes().begin(), w.bytes().end());
  out.insert(out.end(), body.begin(), body.end());
}

zarn::Result<std::vector<Chunk>> split_chunks(ByteView bytes) {
  std::vector<Chunk> out;
  Reader r(bytes);
  while (!r.done()) {
    CRDT_READ(magic, r.take(4));
    if (!std::equal(magic.begin(), magic.end(), kMagic)) return err("not a document chunk");
    CRDT_READ(kind, r.u8());
    if (kind != 1 && kind != 2) return err("unknown chunk kind");
    CRDT_READ(len, r.uleb());
    CRDT_READ(check, r.take(4));
    CRDT_READ(body, r.take(len));
    Chunk c{static_cast<ChunkKind>(kind), body, {}};
    std::copy(check.begin(), check.end(), c.check.begin());
    out.push_back(c);
  }
  return out;
}

void reseal(Bytes& bytes) {
  auto chunks = split_chunks(bytes);
  if (!chunks) return;
  for (const Chunk& c : *chunks) {
    std::array<std::uint8_t, 4> check;
    if (c.kind == ChunkKind::Snapshot) {
      check = snapshot_check(c.body);
    } else {
      ChangeHash h = sha256(c.body);
      std::copy_n(h.bytes.begin(), 4, check.begin());
    }
    // The check bytes sit right before the body.
    std::size_t at = static_cast<std::size_t>(c.body.data() - bytes.data()) - 4;
    std::copy(check.begin(), check.end(), bytes.begin() + at);
  }
}

void write_payload(Writer& w, const Payload& p) {
  if (p.make) {
    w.u8(static_cast<std::uint8_t>(Tag::MakeMap) + static_cast<std::uint8_t>(*p.make));
    return;
  }
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Null>) {
          w.u8(static_cast<std::uint8_t>(Tag::Null));
        } else if constexpr (std::is_same_v<T, std::string>) {
          w.u8(static_cast<std::uint8_t>(Tag::Str));
          w.str(v);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          w.u8(static_cast<std::uint8_t>(Tag::Int));
          w.sleb(v);
        } else if constexpr (std::is_same_v<T, std::uint64_t>) {
          w.u8(static_cast<std::uint8_t>(Tag::Uint));
          w.uleb(v);
        } else if constexpr (std::is_same_v<T, double>) {
          w.u8(static_cast<std::uint8_t>(Tag::F64));
          w.f64(v);
        } else if constexpr (std::is_same_v<T, bool>) {
          w.u8(static_cast<std::uint8_t>(v ? Tag::True : Tag::False));
        } else if constexpr (std::is_same_v<T, Counter>) {
          w.u8(static_cast<std::uint8_t>(Tag::Counter));
          w.sleb(v.value);
        } else {
          w.u8(static_cast<std::uint8_t>(Tag::Timestamp));
          w.sleb(v.millis);
        }
      },
      p.scalar);
}

zarn::Result<Payload> read_payload(Reader& r) {
  CRDT_READ(tag, r.u8());
  Payload p;
  switch (static_cast<Tag>(tag)) {
    case Tag::Null:
      p.scalar = Null{};
      break;
    case Tag::Str: {
      CRDT_READ(s, r.str());
      if (!utf8_decode(s)) return err("string value is not valid UTF-8");
      p.scalar = std::move(s);
      break;
    }
    case Tag::Int: {
      CRDT_READ(v, r.sleb());
      p.scalar = v;
      break;
    }
    case Tag::Uint: {
      CRDT_READ(v, r.uleb());
      p.scalar = v;
      break;
    }
    case Tag::F64: {
      CRDT_READ(v, r.f64());
      p.scalar = v;
      break;
    }
    case Tag::False:
      p.scalar = false;
      break;
    case Tag::True:
      p.scalar = true;
      break;
    case Tag::Counter: {
      CRDT_READ(v, r.sleb());
      p.scalar = Counter{v};
      break;
    }
    case Tag::Timestamp: {
      CRDT_READ(v, r.sleb());
      p.scalar = Timestamp{v};
      break;
    }
    case Tag::MakeMap:
      p.make = ObjType::Map;
      break;
    case Tag::MakeList:
      p.make = ObjType::List;
      break;
    case Tag::MakeText:
      p.make = ObjType::Text;
      break;
    default:
      return err("unknown value tag");
  }
  return p;
}

void encode_change(const DocState& doc, ChangeRec& rec, std::vector<Op> ops) {
  auto by_counter = [](const Op& a, const Op& b) { return a.counter < b.counter; };
  if (!std::is_sorted(ops.begin(), ops.end(), by_counter))
    std::sort(ops.begin(), ops.end(), by_counter);
  std::vector<Op> norm;
  norm.reserve(ops.size());
  for (Op& op : ops) {
    if (op.action == Action::TextInsert && !norm.empty()) {
      Op& last = norm.back();
      if (last.action == Action::TextInsert && last.obj == op.obj &&
          last.counter + last.text.size() == op.counter &&
          op.elem == OpId{op.counter - 1, rec.actor}) {
        last.text += op.text;
        continue;
      }
    }
    norm.push_back(std::move(op));
  }

  // Actor references: 0 is the change's actor, then every other one sorted by bytes.
  std::vector<std::uint32_t> others;
  auto note = [&](OpId id) {
    if (id.counter != 0 && id.actor != rec.actor) others.push_back(id.actor);
  };
  for (const Op& op : norm) {
    note(op.obj);
    note(op.elem);
    for (const OpId& p : op.pred) note(p);
  }
  std::sort(others.begin(), others.end(),
            [&](std::uint32_t a, std::uint32_t b) { return doc.actors[a] < doc.actors[b]; });
  others.erase(std::unique(others.begin(), others.end()), others.end());
  auto ref_of = [&](std::uint32_t actor) -> std::uint64_t {
    if (actor == rec.actor) return 0;
    return 1 + (std::lower_bound(others.begin(), others.end(), actor,
                                 [&](std::uint32_t a, std::uint32_t b) {
                                   return doc.actors[a] < doc.actors[b];
                                 }) -
                others.begin());
  };

  Writer w;
  w.raw(doc.actors[rec.actor].bytes.data(), 16);
  w.uleb(rec.seq);
  w.uleb(rec.start_op);
  w.sleb(rec.time);
  w.str(rec.message);
  std::vector<ChangeHash> deps;
  for (std::uint32_t d : rec.deps) deps.push_back(doc.changes[d].hash);
  std::sort(deps.begin(), deps.end());
  w.uleb(deps.size());
  for (const auto& d : deps) w.raw(d.bytes.data(), 32);
  w.uleb(others.size());
  for (std::uint32_t a : others) w.raw(doc.actors[a].bytes.data(), 16);
  w.uleb(norm.size());
  auto ref = [&](OpId id) {
    w.uleb(id.counter);
    if (id.counter != 0) w.uleb(ref_of(id.actor));
  };
  for (Op& op : norm) {
    w.u8(static_cast<std::uint8_t>(op.action));
    ref(op.obj);
    if (is_map_action(op.action))
      w.str(op.key);
    else
      ref(op.elem);
    switch (op.action) {
      case Action::MapPut:
      case Action::SeqInsert:
      case Action::SeqSet:
        write_payload(w, op.payload);
        break;
      case Action::MapInc:
        w.sleb(std::get<std::int64_t>(op.payload.scalar));
        break;
      case Action::TextInsert: {
        std::string s;
        for (char32_t c : op.text) utf8_append(s, c);
        w.str(s);
        break;
      }
      default:
        break;
    }
    std::sort(op.pred.begin(), op.pred.end(), [&](OpId a, OpId b) { return doc.id_less(a, b); });
    w.uleb(op.pred.size());
    for (const OpId& p : op.pred) ref(p);
  }
  rec.hash = sha256(w.bytes());
  rec.hash_known = true;
  rec.encoded.clear();
  write_frame(rec.encoded, ChunkKind::Change, w.bytes(), rec.hash.bytes.data());
}

zarn::Result<DecodedChange> decode_change(const Chunk& chunk) {
  if (chunk.kind != ChunkKind::Change) return err("expected a change chunk");
  DecodedChange c;
  c.hash = sha256(chunk.body);
  if (!std::equal(chunk.check.begin(), chunk.check.end(), c.hash.bytes.begin()))
    return err("change checksum does not match its content");
  Reader r(chunk.body);
  CRDT_READ(actor, r.take(16));
  std::copy(actor.begin(), actor.end(), c.actor.bytes.begin());
  c.actors.push_back(c.actor);
  CRDT_READ(seq, r.uleb());
  CRDT_READ(start, r.uleb());
  if (seq == 0 || start == 0) return err("change seq and start op must be positive");
  c.seq = seq;
  c.start_op = start;
  CRDT_READ(time, r.sleb());
  c.time = time;
  CRDT_READ(message, r.str());
  c.message = std::move(message);
  CRDT_READ(ndeps, r.count(32));
  for (std::uint64_t i = 0; i < ndeps; ++i) {
    CRDT_READ(d, r.take(32));
    ChangeHash h;
    std::copy(d.begin(), d.end(), h.bytes.begin());
    c.deps.push_back(h);
  }
  CRDT_READ(nactors, r.count(16));
  for (std::uint64_t i = 0; i < nactors; ++i) {
    CRDT_READ(a, r.take(16));
    ActorId id;
    std::copy(a.begin(), a.end(), id.bytes.begin());
    c.actors.push_back(id);
  }
  CRDT_READ(nops, r.count(4));
  c.ops.reserve(nops);
  std::uint64_t counter = start;
  auto read_ref = [&](std::uint64_t limit) -> zarn::Result<OpId> {
    CRDT_READ(ctr, r.uleb());
    if (ctr == 0) return OpId{};
    if (ctr >= limit) return err("op refers to a later op");
    CRDT_READ(a, r.uleb());
    if (a >= c.actors.size()) return err("actor reference out of range");
    return OpId{ctr, static_cast<std::uint32_t>(a)};
  };
  for (std::uint64_t i = 0; i < nops; ++i) {
    Op op;
    op.counter = counter;
    CRDT_READ(act, r.u8());
    if (act < 1 || act > 7) return err("unknown op action");
    op.action = static_cast<Action>(act);
    CRDT_READ(obj, read_ref(counter));
    op.obj = obj;
    if (is_map_action(op.action)) {
      CRDT_READ(key, r.str());
      op.key = std::move(key);
    } else {
      CRDT_READ(elem, read_ref(counter));
      op.elem = elem;
      if (elem.counter == 0 && (op.action == Action::SeqSet || op.action == Action::SeqDel))
        return err("set or delete without a target element");
    }
    switch (op.action) {
      case Action::MapPut:
      case Action::SeqInsert:
      case Action::SeqSet: {
        CRDT_READ(p, read_payload(r));
        op.payload = std::move(p);
        break;
      }
      case Action::MapInc: {
        CRDT_READ(v, r.sleb());
        op.payload.scalar = v;
        break;
      }
      case Action::TextInsert: {
        CRDT_READ(s, r.str());
        auto text = utf8_decode(s);
        if (!text || text->empty()) return err("text insert is empty or not valid UTF-8");
        op.text = std::move(*text);
        break;
      }
      default:
        break;
    }
    CRDT_READ(npred, r.count(1));
    for (std::uint64_t k = 0; k < npred; ++k) {
      CRDT_READ(p, read_ref(counter));
      if (p.counter == 0) return err("pred names no op");
      op.pred.push_back(p);
    }
    if (op.width() > ~std::uint64_t{0} - counter) return err("op counter overflows");
    counter += op.width();
    c.ops.push_back(std::move(op));
  }
  if (!r.done()) return err("trailing bytes after change");
  if (c.ops.empty()) return err("change without ops");
  c.op_count = counter - start;
  c.encoded.clear();
  write_frame(c.encoded, ChunkKind::Change, chunk.body, c.hash.bytes.data());
  return c;
}

}  // namespace crdt::detail
