// Three replicas edit the same maps, lists, texts and counters concurrently and exchange
// changes in varying orders and ways; after every full exchange all replicas must hold the
// same content and the same heads.
#include <gtest/gtest.h>

#include <random>

#include "dump.h"
#include "platform/crdt/detail/formats.h"
#include "platform/crdt/document.h"

namespace crdt {
namespace {

using testing::dump;

struct Obj {
  ObjId id;
  ObjType type;
};

void collect(const Document& doc, const ObjId& id, ObjType type, std::vector<Obj>& out) {
  out.push_back({id, type});
  auto visit = [&](const Value& v) {
    if (auto* r = std::get_if<ObjRef>(&v.v)) collect(doc, r->id, r->type, out);
  };
  if (type == ObjType::Map) {
    for (const auto& k : doc.keys(id))
      for (const Value& v : doc.get_all(id, k)) visit(v);
  } else if (type == ObjType::List) {
    for (std::size_t i = 0; i < doc.length(id); ++i) visit(*doc.get(id, i));
  }
}

class Replicas {
 public:
  explicit Replicas(std::uint32_t seed) : rng_(seed) {
    ActorId a;
    a.bytes.fill(1);
    docs_.reserve(3);
    docs_.emplace_back(a);
    Document& first = docs_[0];
    (void)first.put_object(ObjId::root(), "map", ObjType::Map);
    (void)first.put_object(ObjId::root(), "list", ObjType::List);
    (void)first.put_object(ObjId::root(), "text", ObjType::Text);
    (void)first.put(ObjId::root(), "n", Counter{0});
    first.commit({}, 0);
    for (std::uint8_t i = 2; i <= 3; ++i) {
      ActorId b;
      b.bytes.fill(i);
      docs_.push_back(first.fork(b));
    }
  }

  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

  Scalar random_scalar() {
    switch (pick(6)) {
      case 0:
        return std::int64_t(pick(100)) - 50;
      case 1:
        return std::string(1, char('a' + pick(26)));
      case 2:
        return pick(2) == 1;
      case 3:
        return Null{};
      case 4:
        return 0.5 * double(pick(10));
      default:
        return std::uint64_t(pick(1000));
    }
  }

  void random_edit(Document& doc) {
    std::vector<Obj> objs;
    collect(doc, ObjId::root(), ObjType::Map, objs);
    const Obj& o = objs[pick(objs.size())];
    static const char* keys[] = {"a", "b", "c"};
    const char* key = keys[pick(3)];
    const std::size_t len = doc.length(o.id);
    switch (o.type) {
      case ObjType::Map:
        if (o.id.is_root() && pick(3) == 0) {
          (void)doc.increment(o.id, "n", std::int64_t(pick(10)) - 3);
          return;
        }
        switch (pick(5)) {
          case 0:
            (void)doc.delete_key(o.id, key);
            return;
          case 1:
            if (objs.size() < 25) (void)doc.put_object(o.id, key, ObjType(pick(3)));
            return;
          default:
            (void)doc.put(o.id, key, random_scalar());
            return;
        }
      case ObjType::List:
        switch (pick(5)) {
          case 0:
            if (len) (void)doc.delete_at(o.id, pick(len));
            return;
          case 1:
            if (len) (void)doc.set(o.id, pick(len), random_scalar());
            return;
          case 2:
            if (objs.size() < 25) (void)doc.insert_object(o.id, pick(len + 1), ObjType(pick(3)));
            return;
          default: {
            std::vector<Scalar> vals(1 + pick(3));
            for (auto& v : vals) v = random_scalar();
            std::size_t pos = pick(len + 1);
            (void)doc.splice(o.id, pos,
                             len > pos ? pick(std::min<std::size_t>(2, len - pos) + 1) : 0, vals);
            return;
          }
        }
      case ObjType::Text: {
        static const char* inserts[] = {"x", "hello", "é", "😀", "ab😀cd", ""};
        std::size_t pos = pick(len + 1);
        std::size_t del = len > pos ? pick(std::min<std::size_t>(3, len - pos) + 1) : 0;
        ASSERT_TRUE(doc.splice_text(o.id, pos, del, inserts[pick(6)]));
        return;
      }
    }
  }

  // Sends what `to` lacks from `from`, one way or another.
  void send(std::size_t from, std::size_t to) {
    Document& src = docs_[from];
    Document& dst = docs_[to];
    switch (pick(3)) {
      case 0:
        ASSERT_TRUE(dst.merge(src));
        break;
      case 1: {
        auto heads = dst.heads();
        ASSERT_TRUE(dst.apply_changes(src.changes_since(heads)));
        break;
      }
      default: {
        // One chunk at a time, newest first, so changes wait in the queue for their deps.
        Bytes all = src.changes_since({});
        auto chunks = detail::split_chunks(all);
        ASSERT_TRUE(chunks);
        for (auto it = chunks->rbegin(); it != chunks->rend(); ++it) {
          Bytes one;
          detail::write_frame(one, it->kind, it->body, it->check.data());
          ASSERT_TRUE(dst.apply_changes(one));
        }
        EXPECT_EQ(dst.queued_changes(), 0u);
      }
    }
  }

  void round() {
    for (Document& d : docs_) {
      for (std::size_t k = 1 + pick(3); k > 0; --k) random_edit(d);
      if (pick(8) == 0)
        d.rollback();
      else
        d.commit({}, 0);
    }
    if (pick(4) == 0) {
      std::size_t a = pick(3);
      std::size_t b = (a + 1 + pick(2)) % 3;
      send(a, b);
    }
    if (pick(10) == 0) {
      std::size_t i = pick(3);
      ActorId keep = docs_[i].actor();
      auto loaded = Document::load(docs_[i].save(), keep);
      ASSERT_TRUE(loaded) << loaded.error();
      docs_[i] = std::move(*loaded);
    }
  }

  void sync_all_and_check() {
    std::vector<std::size_t> order = {0, 1, 2};
    std::shuffle(order.begin(), order.end(), rng_);
    send(order[1], order[0]);
    send(order[2], order[0]);
    send(order[0], order[1]);
    send(order[0], order[2]);
    const std::string expect = dump(docs_[0]);
    for (std::size_t i = 1; i < 3; ++i) {
      ASSERT_EQ(dump(docs_[i]), expect) << "replica " << i;
      ASSERT_EQ(docs_[i].heads(), docs_[0].heads()) << "replica " << i;
    }
    auto reloaded = Document::load(docs_[0].save());
    ASSERT_TRUE(reloaded) << reloaded.error();
    ASSERT_EQ(dump(*reloaded), expect);
    ASSERT_EQ(reloaded->heads(), docs_[0].heads());
  }

 private:
  std::mt19937 rng_;
  std::vector<Document> docs_;
};

TEST(Convergence, RandomConcurrentEditsConverge) {
  for (std::uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
    SCOPED_TRACE(seed);
    Replicas r(seed);
    for (int round = 0; round < 60; ++round) {
      r.round();
      if (::testing::Test::HasFatalFailure()) return;
      if (round % 6 == 5) {
        r.sync_all_and_check();
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
    r.sync_all_and_check();
  }
}

}  // namespace
}  // namespace crdt
