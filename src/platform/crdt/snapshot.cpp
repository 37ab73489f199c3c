// Snapshot chunks: the whole op set in document order, split into columns of LEB128 values
// (counters delta-coded), large columns deflated. Change hashes are not stored except for the
// heads; changes are rebuilt from the ops when someone asks for them.
#include <zlib.h>

#include <algorithm>
#include <map>

#include "platform/crdt/detail/formats.h"

namespace crdt::detail {
namespace {

constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kDeflateMin = 256;
// zlib cannot expand data by more than about 1032:1.
constexpr std::uint64_t kMaxRatio = 1100;
// Element op code for a delete whose only pred is the inserted value; saves the pred column.
constexpr std::uint8_t kPlainDelete = 8;

enum Col : std::uint8_t {
  kChActor,
  kChStart,
  kChCount,
  kChTime,
  kChMsg,
  kChDeps,
  kObjId,
  kObjType,
  kMapKeys,
  kMapId,
  kMapAct,
  kMapVal,
  kMapPred,
  kSeqRuns,
  kRunId,
  kRunLen,
  kRunOrigin,
  kText,
  kListVal,
  kExElem,
  kExId,
  kExAct,
  kExVal,
  kExPred,
  kColCount
};

zarn::Error err(std::string m) {
  return zarn::make_error("snapshot: " + std::move(m));
}

// Ops of a change at or past this counter (per actor) are left out of an encoding.
std::vector<std::uint64_t> bounds(const DocState& d, std::size_t keep) {
  std::vector<std::uint64_t> b(d.actors.size(), 0);
  for (std::size_t i = 0; i < keep; ++i) {
    const auto& c = d.changes[i];
    b[c.actor] = std::max(b[c.actor], c.start_op + c.op_count);
  }
  return b;
}

void write_pred(Writer& w, OpId own, const std::vector<OpId>& pred) {
  w.uleb(pred.size());
  for (const OpId& p : pred) {
    w.uleb(p.actor);
    w.uleb(own.counter - p.counter);
  }
}

}  // namespace

Bytes encode_snapshot(const DocState& d, std::size_t keep) {
  const auto bound = bounds(d, keep);
  auto kept = [&](OpId id) { return id.counter == 0 || id.counter < bound[id.actor]; };
  Writer col[kColCount];

  // Changes.
  std::uint64_t prev_start = 0;
  std::int64_t prev_time = 0;
  for (std::size_t i = 0; i < keep; ++i) {
    const auto& c = d.changes[i];
    col[kChActor].uleb(c.actor);
    col[kChStart].sleb(static_cast<std::int64_t>(c.start_op - prev_start));
    col[kChCount].uleb(c.op_count);
    col[kChTime].sleb(static_cast<std::int64_t>(static_cast<std::uint64_t>(c.time) -
                                                static_cast<std::uint64_t>(prev_time)));
    col[kChMsg].str(c.message);
    col[kChDeps].uleb(c.deps.size());
    for (std::uint32_t dep : c.deps) col[kChDeps].uleb(i - dep);
    prev_start = c.start_op;
    prev_time = c.time;
  }

  // Objects in id order; index 0 is the root.
  std::vector<OpId> order;
  for (const auto& [id, o] : d.objects)
    if (id.counter != 0 && kept(id)) order.push_back(id);
  std::sort(order.begin(), order.end(), [](OpId a, OpId b) {
    return a.counter != b.counter ? a.counter < b.counter : a.actor < b.actor;
  });
  order.insert(order.begin(), OpId{});
  std::uint64_t prev_ctr = 0;
  for (std::size_t i = 1; i < order.size(); ++i) {
    col[kObjId].uleb(order[i].actor);
    col[kObjId].sleb(static_cast<std::int64_t>(order[i].counter - prev_ctr));
    prev_ctr = order[i].counter;
    col[kObjType].u8(static_cast<std::uint8_t>(d.objects.at(order[i])->type));
  }

  std::uint64_t prev_obj = 0;
  std::uint64_t prev_map = 0;
  std::uint64_t prev_run = 0;
  std::uint64_t prev_ex = 0;
  for (std::size_t oi = 0; oi < order.size(); ++oi) {
    const Object& o = *d.objects.at(order[oi]);
    if (o.type == ObjType::Map) {
      for (const auto& [key, ops] : o.keys) {
        std::size_t n =
            std::count_if(ops.begin(), ops.end(), [&](const MapOp& m) { return kept(m.id); });
        if (n == 0) continue;
        col[kMapKeys].uleb(oi - prev_obj);
        prev_obj = oi;
        col[kMapKeys].str(key);
        col[kMapKeys].uleb(n);
        for (const MapOp& m : ops) {
          if (!kept(m.id)) continue;
          col[kMapId].uleb(m.id.actor);
          col[kMapId].sleb(static_cast<std::int64_t>(m.id.counter - prev_map));
          prev_map = m.id.counter;
          col[kMapAct].u8(static_cast<std::uint8_t>(m.action));
          if (m.action == Action::MapPut) write_payload(col[kMapVal], m.payload);
          if (m.action == Action::MapInc)
            col[kMapVal].sleb(std::get<std::int64_t>(m.payload.scalar));
          write_pred(col[kMapPred], m.id, m.pred);
        }
      }
      continue;
    }
    // Runs, merged back across visibility splits and cut where the kept ops end.
    std::vector<Run> out;
    struct ExEntry {
      std::uint64_t index;
      const ElemExtra* ex;  // or a plain delete:
      OpId plain;
    };
    std::vector<ExEntry> extras;
    std::uint64_t index = 0;
    o.seq->for_each_run([&](const Run& r) {
      std::uint64_t b = bound[r.start.actor];
      if (r.start.counter >= b) return;
      std::uint32_t len =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(r.len, b - r.start.counter));
      if (!o.extras.empty() || r.deleted)
        for (std::uint32_t k = 0; k < len; ++k) {
          if (r.deleted && r.dels[k].counter != 0) {
            if (kept(r.dels[k])) extras.push_back({index + k, nullptr, r.dels[k]});
            continue;
          }
          if (o.extras.empty()) continue;
          auto it = o.extras.find(r.id_at(k));
          if (it != o.extras.end()) extras.push_back({index + k, &it->second, {}});
        }
      index += len;
      if (!out.empty()) {
        Run& last = out.back();
        if (last.start.actor == r.start.actor && last.start.counter + last.len == r.start.counter &&
            r.origin == last.id_at(last.len - 1)) {
          last.len += len;
          if (o.type == ObjType::Text)
            last.chars.append(r.chars, 0, len);
          else
            last.values.insert(last.values.end(), r.values.begin(), r.values.begin() + len);
          return;
        }
      }
      Run piece;
      piece.start = r.start;
      piece.origin = r.origin;
      piece.len = len;
      if (o.type == ObjType::Text)
        piece.chars = r.chars.substr(0, len);
      else
        piece.values.assign(r.values.begin(), r.values.begin() + len);
      out.push_back(std::move(piece));
    });
    col[kSeqRuns].uleb(out.size());
    std::string utf8;
    for (const Run& r : out) {
      col[kRunId].uleb(r.start.actor);
      col[kRunId].sleb(static_cast<std::int64_t>(r.start.counter - prev_run));
      prev_run = r.start.counter;
      col[kRunLen].uleb(r.len);
      if (r.origin.counter == 0) {
        col[kRunOrigin].uleb(0);
      } else {
        col[kRunOrigin].uleb(r.origin.actor + 1);
        col[kRunOrigin].uleb(r.start.counter - r.origin.counter);
      }
      if (o.type == ObjType::Text) {
        utf8.clear();
        for (char32_t c : r.chars) utf8_append(utf8, c);
        col[kText].raw(utf8.data(), utf8.size());
      } else {
        for (const Payload& p : r.values) write_payload(col[kListVal], p);
      }
    }
    auto kept_ops = [&](const ExEntry& e) -> std::size_t {
      if (!e.ex) return 1;
      return std::count_if(e.ex->ops.begin(), e.ex->ops.end(),
                           [&](const ElemOp& op) { return kept(op.id); });
    };
    std::size_t with_ops = 0;
    for (const ExEntry& e : extras) with_ops += kept_ops(e) > 0;
    col[kExElem].uleb(with_ops);
    std::uint64_t prev_index = 0;
    for (const ExEntry& entry : extras) {
      std::size_t n = kept_ops(entry);
      if (n == 0) continue;
      col[kExElem].uleb(entry.index - prev_index);
      prev_index = entry.index;
      col[kExElem].uleb(n);
      if (!entry.ex) {
        col[kExId].uleb(entry.plain.actor);
        col[kExId].sleb(static_cast<std::int64_t>(entry.plain.counter - prev_ex));
        prev_ex = entry.plain.counter;
        col[kExAct].u8(kPlainDelete);
        continue;
      }
      for (const ElemOp& e : entry.ex->ops) {
        if (!kept(e.id)) continue;
        col[kExId].uleb(e.id.actor);
        col[kExId].sleb(static_cast<std::int64_t>(e.id.counter - prev_ex));
        prev_ex = e.id.counter;
        col[kExAct].u8(static_cast<std::uint8_t>(e.action));
        if (e.action == Action::SeqSet) write_payload(col[kExVal], e.payload);
        write_pred(col[kExPred], e.id, e.pred);
      }
    }
  }

  Writer w;
  w.u8(kVersion);
  w.uleb(d.actors.size());
  for (const auto& a : d.actors) w.raw(a.bytes.data(), 16);
  w.uleb(keep);
  std::vector<std::uint32_t> heads;
  {
    std::vector<bool> has_child(keep, false);
    for (std::size_t i = 0; i < keep; ++i)
      for (std::uint32_t dep : d.changes[i].deps) has_child[dep] = true;
    for (std::size_t i = 0; i < keep; ++i)
      if (!has_child[i]) heads.push_back(static_cast<std::uint32_t>(i));
  }
  w.uleb(heads.size());
  for (std::uint32_t h : heads) {
    w.uleb(h);
    w.raw(d.changes[h].hash.bytes.data(), 32);
  }
  w.uleb(order.size() - 1);
  w.uleb(std::count_if(std::begin(col), std::end(col), [](Writer& c) { return c.size() > 0; }));
  for (int c = 0; c < kColCount; ++c) {
    const Bytes& raw = col[c].bytes();
    if (raw.empty()) continue;
    Bytes packed;
    bool deflated = raw.size() >= kDeflateMin;
    if (deflated) {
      packed = deflate_bytes(raw);
      deflated = !packed.empty() && packed.size() < raw.size();
    }
    w.u8(static_cast<std::uint8_t>(c));
    w.u8(deflated ? 1 : 0);
    w.uleb(raw.size());
    const Bytes& stored = deflated ? packed : raw;
    w.uleb(stored.size());
    w.raw(stored.data(), stored.size());
  }
  Bytes chunk;
  write_frame(chunk, ChunkKind::Snapshot, w.bytes(), snapshot_check(w.bytes()).data());
  return chunk;
}

std::array<std::uint8_t, 4> snapshot_check(ByteView body) {
  uLong crc = crc32(0, nullptr, 0);
  // crc32() takes 32-bit lengths; feed large bodies in pieces.
  for (std::size_t off = 0; off < body.size();) {
    std::size_t n = std::min<std::size_t>(body.size() - off, 1u << 30);
    crc = crc32(crc, body.data() + off, static_cast<uInt>(n));
    off += n;
  }
  std::array<std::uint8_t, 4> out;
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(crc >> (8 * i));
  return out;
}

namespace {

// Claims op ids against the change ranges so each op belongs to exactly one change slot.
class Coverage {
 public:
  zarn::Result<void> init(const DocState& d, std::uint64_t limit) {
    offsets_.reserve(d.changes.size());
    std::uint64_t total = 0;
    for (const auto& c : d.changes) {
      offsets_.push_back(total);
      if (c.op_count > limit - total) return err("changes claim more ops than the data holds");
      total += c.op_count;
    }
    bits_.assign(total, false);
    total_ = total;
    return zarn::ok();
  }
  zarn::Result<void> claim(const DocState& d, OpId id, std::uint64_t width) {
    while (width > 0) {
      std::optional<std::uint32_t> ci;
      // Ops of one object mostly come from one change; try the last hit first.
      for (std::uint32_t guess : {last_, last_ + 1}) {
        if (guess >= d.changes.size()) continue;
        const auto& c = d.changes[guess];
        if (c.actor == id.actor && id.counter >= c.start_op &&
            id.counter - c.start_op < c.op_count) {
          ci = guess;
          break;
        }
      }
      if (!ci) ci = d.change_of(id);
      if (!ci) return err("op id outside every change");
      last_ = *ci;
      const auto& c = d.changes[*ci];
      std::uint64_t off = id.counter - c.start_op;
      std::uint64_t n = std::min(width, c.op_count - off);
      for (std::uint64_t k = 0; k < n; ++k) {
        auto bit = bits_[offsets_[*ci] + off + k];
        if (bit) return err("op id used twice");
        bit = true;
      }
      claimed_ += n;
      width -= n;
      id.counter += n;
    }
    return zarn::ok();
  }
  bool complete() const { return claimed_ == total_; }

 private:
  std::vector<std::uint64_t> offsets_;
  std::vector<bool> bits_;
  std::uint64_t total_ = 0;
  std::uint64_t claimed_ = 0;
  std::uint32_t last_ = ~0u;
};

struct Decoder {
  DocState& d;
  std::vector<Reader> col;
  std::vector<OpId> objs;
  std::vector<Object*> ptrs;  // parallel to objs
  std::vector<std::pair<OpId, ObjType>> makes;
  Coverage cov;
  std::uint64_t prev_run = 0;
  std::uint64_t prev_ex = 0;

  zarn::Result<OpId> read_id(Reader& r, std::uint64_t& prev) {
    CRDT_READ(actor, r.uleb());
    CRDT_READ(delta, r.sleb());
    if (actor >= d.actors.size()) return err("actor index out of range");
    std::uint64_t ctr = prev + static_cast<std::uint64_t>(delta);
    if (ctr == 0) return err("op counter zero");
    prev = ctr;
    return OpId{ctr, static_cast<std::uint32_t>(actor)};
  }
  zarn::Result<std::vector<OpId>> read_pred(Reader& r, OpId own) {
    CRDT_READ(n, r.count(2));
    std::vector<OpId> pred;
    pred.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i) {
      CRDT_READ(actor, r.uleb());
      CRDT_READ(delta, r.uleb());
      if (actor >= d.actors.size()) return err("actor index out of range");
      if (delta == 0 || delta >= own.counter) return err("pred out of range");
      pred.push_back(OpId{own.counter - delta, static_cast<std::uint32_t>(actor)});
    }
    return pred;
  }
  // Notes an object-creating op; checked against the object table at the end.
  zarn::Result<void> made(const Payload& p, OpId id) {
    if (p.make) makes.push_back({id, *p.make});
    return zarn::ok();
  }
  zarn::Result<void> check_makes() {
    auto less = [](OpId a, OpId b) {
      return a.counter != b.counter ? a.counter < b.counter : a.actor < b.actor;
    };
    std::sort(makes.begin(), makes.end(),
              [&](const auto& a, const auto& b) { return less(a.first, b.first); });
    if (makes.size() != objs.size() - 1) return err("objects and their creating ops disagree");
    for (std::size_t i = 0; i < makes.size(); ++i)
      if (!(makes[i].first == objs[i + 1]) || makes[i].second != ptrs[i + 1]->type)
        return err("objects and their creating ops disagree");
    return zarn::ok();
  }

  zarn::Result<void> maps() {
    Reader& keys = col[kMapKeys];
    std::uint64_t obj = 0;
    std::uint64_t prev = 0;
    while (!keys.done()) {
      CRDT_READ(delta, keys.uleb());
      if (delta > objs.size() - 1 - obj) return err("object index out of range");
      obj += delta;
      Object& o = *ptrs[obj];
      if (o.type != ObjType::Map) return err("map ops on a list or text");
      CRDT_READ(key, keys.str());
      CRDT_READ(n, keys.count(0));
      if (n == 0 || n > col[kMapAct].remaining()) return err("bad op count");
      auto& ops = o.keys[key];
      if (!ops.empty()) return err("key listed twice");
      ops.reserve(n);
      for (std::uint64_t i = 0; i < n; ++i) {
        MapOp m;
        CRDT_READ(id, read_id(col[kMapId], prev));
        m.id = id;
        ZARN_TRY(cov.claim(d, id, 1));
        CRDT_READ(act, col[kMapAct].u8());
        m.action = static_cast<Action>(act);
        if (m.action == Action::MapPut) {
          CRDT_READ(p, read_payload(col[kMapVal]));
          m.payload = std::move(p);
          ZARN_TRY(made(m.payload, id));
          m.visible = true;
        } else if (m.action == Action::MapInc) {
          CRDT_READ(v, col[kMapVal].sleb());
          m.payload.scalar = v;
        } else if (m.action != Action::MapDel) {
          return err("unknown map action");
        }
        CRDT_READ(pred, read_pred(col[kMapPred], id));
        m.pred = std::move(pred);
        ops.push_back(std::move(m));
      }
      for (std::size_t j = 0; j < ops.size(); ++j) {
        for (const OpId& p : ops[j].pred) {
          std::size_t k = j;
          bool found = false;
          while (k-- > 0)
            if (ops[k].id == p) {
              found = true;
              break;
            }
          if (!found)
            for (k = j + 1; k < ops.size(); ++k)
              if (ops[k].id == p) {
                found = true;
                break;
              }
          if (!found) return err("pred names an op not under this key");
          MapOp& target = ops[k];
          if (target.action != Action::MapPut) continue;
          if (ops[j].action == Action::MapInc) {
            if (std::holds_alternative<Counter>(target.payload.scalar) && !target.payload.make)
              target.inc_total = static_cast<std::int64_t>(
                  static_cast<std::uint64_t>(target.inc_total) +
                  static_cast<std::uint64_t>(std::get<std::int64_t>(ops[j].payload.scalar)));
          } else {
            target.visible = false;
          }
        }
      }
    }
    return zarn::ok();
  }

  zarn::Result<void> sequence(Object& o, ByteView& text) {
    CRDT_READ(nruns, col[kSeqRuns].uleb());
    if (nruns > col[kRunLen].remaining()) return err("run count exceeds the data");
    std::vector<Run> runs;
    runs.reserve(nruns);
    std::uint64_t elements = 0;
    for (std::uint64_t i = 0; i < nruns; ++i) {
      Run r;
      CRDT_READ(id, read_id(col[kRunId], prev_run));
      r.start = id;
      CRDT_READ(len, col[kRunLen].uleb());
      if (len == 0 || len > 0xffffffffu) return err("bad run length");
      r.len = static_cast<std::uint32_t>(len);
      if (id.counter + len < id.counter) return err("run overflows op counters");
      ZARN_TRY(cov.claim(d, id, len));
      CRDT_READ(oa, col[kRunOrigin].uleb());
      if (oa != 0) {
        CRDT_READ(delta, col[kRunOrigin].uleb());
        if (oa > d.actors.size() || delta == 0 || delta >= id.counter) return err("bad run origin");
        r.origin = OpId{id.counter - delta, static_cast<std::uint32_t>(oa - 1)};
      }
      if (o.type == ObjType::Text) {
        if (len > text.size()) return err("text column too short");
        ZARN_TRY(utf8_take(text, len, r.chars));
      } else {
        if (len > col[kListVal].remaining()) return err("list values column too short");
        r.values.reserve(len);
        for (std::uint64_t k = 0; k < len; ++k) {
          CRDT_READ(p, read_payload(col[kListVal]));
          ZARN_TRY(made(p, r.id_at(static_cast<std::uint32_t>(k))));
          r.values.push_back(std::move(p));
        }
      }
      elements += len;
      runs.push_back(std::move(r));
    }

    // Element sets and deletes; the visibility of every element follows from them.
    CRDT_READ(nex, col[kExElem].uleb());
    if (nex > elements) return err("more element ops than elements");
    // Elements no value survives on, by index, with their plain deleter (counter 0: none).
    std::vector<std::pair<std::uint64_t, OpId>> hidden;
    std::uint64_t index = 0;
    std::size_t run_i = 0;
    std::uint64_t run_base = 0;
    for (std::uint64_t i = 0; i < nex; ++i) {
      CRDT_READ(delta, col[kExElem].uleb());
      if ((i > 0 && delta == 0) || delta >= elements - index)
        return err("element op target out of range");
      index += delta;
      while (index >= run_base + runs[run_i].len) run_base += runs[run_i++].len;
      OpId elem = runs[run_i].id_at(static_cast<std::uint32_t>(index - run_base));
      CRDT_READ(n, col[kExElem].count(0));
      if (n == 0 || n > col[kExAct].remaining()) return err("bad element op count");
      if (col[kExAct].peek() == kPlainDelete) {
        if (n != 1) return err("plain delete mixed with other element ops");
        CRDT_READ(id, read_id(col[kExId], prev_ex));
        ZARN_TRY(cov.claim(d, id, 1));
        CRDT_READ(act, col[kExAct].u8());
        (void)act;
        hidden.emplace_back(index, id);
        continue;
      }
      ElemExtra ex;
      for (std::uint64_t k = 0; k < n; ++k) {
        ElemOp e;
        CRDT_READ(id, read_id(col[kExId], prev_ex));
        e.id = id;
        ZARN_TRY(cov.claim(d, id, 1));
        CRDT_READ(act, col[kExAct].u8());
        e.action = static_cast<Action>(act);
        if (e.action == Action::SeqSet) {
          if (o.type != ObjType::List) return err("set on a text element");
          CRDT_READ(p, read_payload(col[kExVal]));
          e.payload = std::move(p);
          ZARN_TRY(made(e.payload, id));
          e.visible = true;
        } else if (e.action != Action::SeqDel) {
          return err("unknown element action");
        }
        CRDT_READ(pred, read_pred(col[kExPred], id));
        e.pred = std::move(pred);
        ex.ops.push_back(std::move(e));
      }
      for (const ElemOp& e : ex.ops)
        for (const OpId& p : e.pred) {
          if (p == elem) {
            ex.insert_visible = false;
            continue;
          }
          auto t = std::find_if(ex.ops.begin(), ex.ops.end(),
                                [&](const ElemOp& x) { return x.id == p; });
          if (t == ex.ops.end()) return err("pred names an op not on this element");
          t->visible = false;
        }
      bool vis = ex.insert_visible;
      for (const ElemOp& e : ex.ops) vis = vis || e.visible;
      if (!vis) hidden.emplace_back(index, OpId{});
      o.extras.emplace(elem, std::move(ex));
    }

    // Rebuild the runs, split where visibility changes.
    std::size_t h = 0;
    std::uint64_t base = 0;
    for (Run& r : runs) {
      std::uint32_t a = 0;
      while (a < r.len) {
        bool del = h < hidden.size() && hidden[h].first == base + a;
        std::uint32_t b = a + 1;
        std::vector<OpId> dels;
        if (del) {
          dels.push_back(hidden[h++].second);
          while (b < r.len && h < hidden.size() && hidden[h].first == base + b)
            dels.push_back(hidden[h++].second), ++b;
        } else {
          std::uint64_t next = h < hidden.size() ? hidden[h].first - base : r.len;
          b = static_cast<std::uint32_t>(std::min<std::uint64_t>(next, r.len));
        }
        Run piece;
        piece.start = r.id_at(a);
        piece.origin = a == 0 ? r.origin : r.id_at(a - 1);
        piece.len = b - a;
        piece.deleted = del;
        piece.dels = std::move(dels);
        if (a == 0 && b == r.len) {
          piece.chars = std::move(r.chars);
          piece.values = std::move(r.values);
        } else if (o.type == ObjType::Text) {
          piece.chars = r.chars.substr(a, b - a);
        } else {
          piece.values.assign(r.values.begin() + a, r.values.begin() + b);
        }
        o.seq->append(std::move(piece));
        a = b;
      }
      base += r.len;
    }
    for (const Run& r : runs)
      if (r.origin.counter != 0 && !o.seq->find(r.origin))
        return err("run follows an element that does not exist");
    return zarn::ok();
  }
};

}  // namespace

zarn::Result<void> decode_snapshot(ByteView body, DocState& d) {
  Reader r(body);
  CRDT_READ(version, r.u8());
  if (version != kVersion) return err("unsupported version");
  CRDT_READ(nactors, r.count(16));
  for (std::uint64_t i = 0; i < nactors; ++i) {
    CRDT_READ(a, r.take(16));
    ActorId id;
    std::copy(a.begin(), a.end(), id.bytes.begin());
    if (d.intern_actor(id) != i) return err("actor listed twice");
  }
  CRDT_READ(nchanges, r.uleb());
  CRDT_READ(nheads, r.count(33));
  std::vector<std::pair<std::uint64_t, ChangeHash>> heads;
  for (std::uint64_t i = 0; i < nheads; ++i) {
    CRDT_READ(idx, r.uleb());
    CRDT_READ(h, r.take(32));
    ChangeHash hash;
    std::copy(h.begin(), h.end(), hash.bytes.begin());
    heads.emplace_back(idx, hash);
  }
  CRDT_READ(nobjects, r.uleb());
  CRDT_READ(ncols, r.count(4));
  Decoder dec{d, std::vector<Reader>(kColCount, Reader(ByteView{})), {}, {}, {}, {}};
  std::vector<Bytes> storage(kColCount);
  std::vector<bool> have(kColCount, false);
  std::uint64_t total_raw = 0;
  for (std::uint64_t i = 0; i < ncols; ++i) {
    CRDT_READ(id, r.u8());
    CRDT_READ(deflated, r.u8());
    CRDT_READ(raw_len, r.uleb());
    CRDT_READ(stored_len, r.uleb());
    CRDT_READ(stored, r.take(stored_len));
    if (id >= kColCount || have[id] || deflated > 1) return err("bad column header");
    have[id] = true;
    if (deflated) {
      if (raw_len > stored.size() * kMaxRatio + 64) return err("column expands too far");
      CRDT_READ(raw, inflate_bytes(stored, raw_len));
      storage[id] = std::move(raw);
    } else {
      if (raw_len != stored.size()) return err("column length mismatch");
      storage[id].assign(stored.begin(), stored.end());
    }
    total_raw += storage[id].size();
    dec.col[id] = Reader(storage[id]);
  }
  if (!r.done()) return err("trailing bytes");

  // Changes.
  if (nchanges > dec.col[kChCount].remaining()) return err("change count exceeds the data");
  d.changes.reserve(nchanges);
  std::uint64_t prev_start = 0;
  std::int64_t prev_time = 0;
  for (std::uint64_t i = 0; i < nchanges; ++i) {
    ChangeRec c;
    CRDT_READ(actor, dec.col[kChActor].uleb());
    if (actor >= nactors) return err("change actor out of range");
    c.actor = static_cast<std::uint32_t>(actor);
    CRDT_READ(ds, dec.col[kChStart].sleb());
    c.start_op = prev_start + static_cast<std::uint64_t>(ds);
    CRDT_READ(count, dec.col[kChCount].uleb());
    c.op_count = count;
    if (c.start_op == 0 || count == 0 || count > ~std::uint64_t{0} - c.start_op)
      return err("bad change op range");
    CRDT_READ(dt, dec.col[kChTime].sleb());
    c.time = static_cast<std::int64_t>(static_cast<std::uint64_t>(prev_time) +
                                       static_cast<std::uint64_t>(dt));
    CRDT_READ(msg, dec.col[kChMsg].str());
    c.message = std::move(msg);
    CRDT_READ(ndeps, dec.col[kChDeps].count(1));
    for (std::uint64_t k = 0; k < ndeps; ++k) {
      CRDT_READ(delta, dec.col[kChDeps].uleb());
      if (delta == 0 || delta > i) return err("change dep out of range");
      std::uint32_t dep = static_cast<std::uint32_t>(i - delta);
      const auto& dc = d.changes[dep];
      if (c.start_op < dc.start_op + dc.op_count) return err("change ops do not follow its deps");
      c.deps.push_back(dep);
    }
    const auto& mine = d.actor_changes[c.actor];
    if (!mine.empty()) {
      const auto& last = d.changes[mine.back()];
      if (c.start_op < last.start_op + last.op_count) return err("change op ranges overlap");
    }
    c.seq = mine.size() + 1;
    prev_start = c.start_op;
    prev_time = c.time;
    d.add_change(std::move(c));
  }
  {
    std::vector<std::uint32_t> computed = d.heads;
    std::sort(computed.begin(), computed.end());
    std::sort(heads.begin(), heads.end());
    if (computed.size() != heads.size()) return err("heads disagree with the changes");
    for (std::size_t i = 0; i < heads.size(); ++i) {
      if (heads[i].first != computed[i]) return err("heads disagree with the changes");
      auto& c = d.changes[computed[i]];
      c.hash = heads[i].second;
      c.hash_known = true;
      d.by_hash[c.hash] = computed[i];
    }
  }
  ZARN_TRY(dec.cov.init(d, total_raw + 16));

  // Objects.
  if (nobjects > dec.col[kObjType].remaining()) return err("object count exceeds the data");
  d.objects.reserve(nobjects + 1);
  d.object_index.reserve(nobjects + 1);
  dec.objs.reserve(nobjects + 1);
  dec.ptrs.reserve(nobjects + 1);
  dec.objs.push_back(OpId{});
  dec.ptrs.push_back(d.create_object(OpId{}, ObjType::Map));
  std::uint64_t prev_obj = 0;
  for (std::uint64_t i = 0; i < nobjects; ++i) {
    CRDT_READ(id, dec.read_id(dec.col[kObjId], prev_obj));
    CRDT_READ(type, dec.col[kObjType].u8());
    if (type > 2) return err("unknown object type");
    const OpId& last = dec.objs.back();
    if (i > 0 &&
        !(last.counter < id.counter || (last.counter == id.counter && last.actor < id.actor)))
      return err("objects out of order");
    dec.objs.push_back(id);
    dec.ptrs.push_back(d.create_object(id, static_cast<ObjType>(type)));
  }

  ZARN_TRY(dec.maps());
  ByteView text = storage[kText];
  for (std::size_t i = 1; i < dec.objs.size(); ++i) {
    Object& o = *dec.ptrs[i];
    if (o.type == ObjType::Map) continue;
    ZARN_TRY(dec.sequence(o, text));
  }
  for (int c = 0; c < kColCount; ++c)
    if (c != kText && !dec.col[c].done()) return err("column has trailing data");
  if (!text.empty()) return err("text column has trailing data");
  ZARN_TRY(dec.check_makes());
  if (!dec.cov.complete()) return err("changes claim ops the snapshot lacks");
  d.saved_changes = d.changes.size();
  return zarn::ok();
}

std::vector<std::vector<Op>> ops_by_change(const DocState& d, const std::vector<bool>& wanted) {
  std::vector<std::vector<Op>> out(d.changes.size());
  auto slot = [&](OpId id) -> std::vector<Op>* {
    auto ci = d.change_of(id);
    if (!ci || !wanted[*ci]) return nullptr;
    return &out[*ci];
  };
  for (const auto& entry : d.objects) {
    const OpId obj = entry.first;
    const Object* o = entry.second.get();
    if (o->type == ObjType::Map) {
      for (const auto& [key, ops] : o->keys)
        for (const MapOp& m : ops)
          if (auto* v = slot(m.id))
            v->push_back(Op{m.id.counter, m.action, obj, key, {}, m.payload, {}, m.pred});
      continue;
    }
    o->seq->for_each_run([&](const Run& r) {
      std::uint32_t k = 0;
      while (k < r.len) {
        OpId id = r.id_at(k);
        auto ci = d.change_of(id);
        if (!ci) break;  // left over from an unfinished change
        const auto& c = d.changes[*ci];
        std::uint32_t n = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(r.len - k, c.start_op + c.op_count - id.counter));
        if (wanted[*ci]) {
          auto& v = out[*ci];
          if (o->type == ObjType::Text) {
            Op op{id.counter, Action::TextInsert,   obj, {}, k == 0 ? r.origin : r.id_at(k - 1),
                  {},         r.chars.substr(k, n), {}};
            v.push_back(std::move(op));
          } else {
            for (std::uint32_t j = k; j < k + n; ++j)
              v.push_back(Op{r.id_at(j).counter,
                             Action::SeqInsert,
                             obj,
                             {},
                             j == 0 ? r.origin : r.id_at(j - 1),
                             r.values[j],
                             {},
                             {}});
          }
        }
        k += n;
      }
      if (r.deleted)
        for (std::uint32_t j = 0; j < r.len; ++j)
          if (r.dels[j].counter != 0)
            if (auto* v = slot(r.dels[j]))
              v->push_back(
                  Op{r.dels[j].counter, Action::SeqDel, obj, {}, r.id_at(j), {}, {}, {r.id_at(j)}});
    });
    for (const auto& [elem, ex] : o->extras)
      for (const ElemOp& e : ex.ops)
        if (auto* v = slot(e.id))
          v->push_back(Op{e.id.counter, e.action, obj, {}, elem, e.payload, {}, e.pred});
  }
  return out;
}

}  // namespace crdt::detail
