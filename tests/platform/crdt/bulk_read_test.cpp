// Reads that callers build caches and fast paths on: the bulk reads must agree with the
// single-key and single-index reads on every state the engine can reach (conflicts, deletions,
// list sets, counters, merged and reloaded documents), and the revision must move whenever
// the content can have changed.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/crdt/document.h"

namespace crdt {
namespace {

ActorId actor(std::uint8_t b) {
  ActorId a;
  a.bytes.fill(b);
  return a;
}

// Compares every bulk read of every object reachable from the root with get() calls.
void expect_bulk_reads_agree(const Document& doc, const ObjId& obj, int depth = 0) {
  ASSERT_LT(depth, 16);
  const auto type = doc.object_type(obj);
  ASSERT_TRUE(type.has_value());
  std::vector<Value> children;
  if (*type == ObjType::Map) {
    const auto entries = doc.map_entries(obj);
    const auto keys = doc.keys(obj);
    ASSERT_EQ(entries.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
      SCOPED_TRACE(keys[i]);
      EXPECT_EQ(entries[i].first, keys[i]);
      EXPECT_EQ(std::optional<Value>(entries[i].second), doc.get(obj, keys[i]));
      children.push_back(entries[i].second);
    }
    EXPECT_TRUE(doc.list_values(obj).empty());
    EXPECT_TRUE(doc.list_field(obj, "k").empty());
  } else {
    const auto values = doc.list_values(obj);
    ASSERT_EQ(values.size(), doc.length(obj));
    for (std::size_t i = 0; i < values.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(std::optional<Value>(values[i]), doc.get(obj, i));
    }
    EXPECT_TRUE(doc.map_entries(obj).empty());
    if (*type == ObjType::List) {
      for (const char* key : {"k", "id", "missing"}) {
        SCOPED_TRACE(key);
        const auto field = doc.list_field(obj, key);
        ASSERT_EQ(field.size(), values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
          auto m = values[i].as_obj(ObjType::Map);
          EXPECT_EQ(field[i], m ? doc.get(*m, key) : std::nullopt) << "index " << i;
        }
      }
      // The in-place visit sees exactly the map elements, each reading like get().
      std::vector<ObjId> maps;
      for (const Value& v : values)
        if (auto m = v.as_obj(ObjType::Map)) maps.push_back(*m);
      std::size_t visited = 0;
      doc.visit_list_maps(obj, [&](const MapView& view) {
        ASSERT_LT(visited, maps.size());
        const ObjId& m = maps[visited++];
        for (const char* key : {"k", "id", "missing"}) {
          SCOPED_TRACE(key);
          const auto want = doc.get(m, key);
          EXPECT_EQ(view.get(key), want);
          const std::string* s = view.str(key);
          EXPECT_EQ(s != nullptr, want && want->as_str());
          if (s && want && want->as_str()) {
            EXPECT_EQ(*s, *want->as_str());
          }
          for (ObjType t : {ObjType::Map, ObjType::List, ObjType::Text})
            EXPECT_EQ(view.obj(key, t), want ? want->as_obj(t) : std::nullopt);
          // A nested visit sees the map elements of the list under the key, each by its id.
          std::vector<std::optional<Value>> nested_ids;
          view.visit_list_maps(
              key, [&](const MapView& inner) { nested_ids.push_back(inner.get("id")); });
          std::vector<std::optional<Value>> want_ids;
          if (auto inner_list = want ? want->as_obj(ObjType::List) : std::nullopt) {
            for (const Value& v : doc.list_values(*inner_list))
              if (auto inner = v.as_obj(ObjType::Map)) want_ids.push_back(doc.get(*inner, "id"));
          }
          EXPECT_EQ(nested_ids, want_ids);
        }
      });
      EXPECT_EQ(visited, maps.size());
      children = values;
    } else {
      EXPECT_TRUE(doc.list_field(obj, "k").empty());
    }
  }
  for (const Value& v : children) {
    for (ObjType t : {ObjType::Map, ObjType::List, ObjType::Text})
      if (auto child = v.as_obj(t)) expect_bulk_reads_agree(doc, *child, depth + 1);
  }
}

// Two replicas that edited the same map keys and list elements concurrently, then merged.
Document conflicted() {
  Document a(actor(1));
  auto list = a.put_object(ObjId::root(), "list", ObjType::List);
  EXPECT_TRUE(list);
  for (int i = 0; i < 6; ++i) {
    auto m = a.insert_object(*list, static_cast<std::size_t>(i), ObjType::Map);
    EXPECT_TRUE(m);
    EXPECT_TRUE(a.put(*m, "id", "m" + std::to_string(i)));
    // Element maps also hold objects and non-string scalars under the keys the checks read.
    if (i == 4) {
      auto inner = a.put_object(*m, "k", ObjType::List);
      EXPECT_TRUE(inner);
      EXPECT_TRUE(a.insert(*inner, 0, std::string("not a map")));
      for (std::size_t at : {0, 2}) {
        auto inner_map = a.insert_object(*inner, at, ObjType::Map);
        EXPECT_TRUE(inner_map);
        EXPECT_TRUE(a.put(*inner_map, "id", "inner" + std::to_string(at)));
      }
    } else if (i == 5) {
      EXPECT_TRUE(a.put(*m, "k", Counter{2}));
    }
  }
  EXPECT_TRUE(a.insert(*list, 6, std::string("plain")));
  EXPECT_TRUE(a.put(ObjId::root(), "count", Counter{5}));
  a.commit();
  Document b = a.fork(actor(2));
  EXPECT_TRUE(a.put(ObjId::root(), "k", std::string("from a")));
  EXPECT_TRUE(b.put(ObjId::root(), "k", std::string("from b")));
  EXPECT_TRUE(a.set(*list, 1, std::string("a replaced a map")));
  EXPECT_TRUE(b.set_object(*list, 1, ObjType::Map));
  EXPECT_TRUE(b.delete_at(*list, 2));
  // A string and an int concurrently under one element's key: the winner decides str().
  const auto first = a.get(*list, 0).value_or(Value{}).as_obj(ObjType::Map).value_or(ObjId{});
  EXPECT_TRUE(a.put(first, "id", std::int64_t{7}));
  EXPECT_TRUE(b.put(first, "id", std::string("b's id")));
  EXPECT_TRUE(b.put(first, "k", std::string("b's k")));
  EXPECT_TRUE(a.delete_at(*list, 3));
  EXPECT_TRUE(b.increment(ObjId::root(), "count", 3));
  EXPECT_TRUE(a.increment(ObjId::root(), "count", 4));
  auto text = a.put_object(ObjId::root(), "text", ObjType::Text);
  EXPECT_TRUE(text);
  EXPECT_TRUE(a.splice_text(*text, 0, 0, "h\u00e9llo \U0001F600"));
  EXPECT_TRUE(a.splice_text(*text, 1, 2, ""));
  EXPECT_TRUE(a.delete_key(ObjId::root(), "gone"));
  EXPECT_TRUE(a.put(ObjId::root(), "gone", true));
  EXPECT_TRUE(a.delete_key(ObjId::root(), "gone"));
  EXPECT_TRUE(a.merge(b));
  return a;
}

TEST(BulkReads, AgreeWithSingleReads) {
  Document doc = conflicted();
  {
    SCOPED_TRACE("merged");
    expect_bulk_reads_agree(doc, ObjId::root());
  }
  // The conflict and the winner as the single reads see them.
  auto entries = doc.map_entries(ObjId::root());
  ASSERT_EQ(entries.size(), 4u);  // count, k, list, text; "gone" was deleted
  EXPECT_EQ(*entries[1].second.as_str(), "from b");
  EXPECT_EQ(entries[0].second.as_counter(), 12);

  auto reloaded = Document::load(doc.save());
  ASSERT_TRUE(reloaded);
  SCOPED_TRACE("reloaded");
  expect_bulk_reads_agree(*reloaded, ObjId::root());
  Document forked = doc.fork();
  SCOPED_TRACE("forked");
  expect_bulk_reads_agree(forked, ObjId::root());
}

TEST(BulkReads, MissingOrWrongKindReadsEmpty) {
  Document doc(actor(1));
  auto text = doc.put_object(ObjId::root(), "t", ObjType::Text);
  ASSERT_TRUE(text);
  ASSERT_TRUE(doc.splice_text(*text, 0, 0, "ab"));
  const ObjId unknown{99, actor(7)};
  EXPECT_TRUE(doc.map_entries(unknown).empty());
  EXPECT_TRUE(doc.list_values(unknown).empty());
  EXPECT_TRUE(doc.list_field(unknown, "id").empty());
  EXPECT_TRUE(doc.map_entries(*text).empty());
  EXPECT_TRUE(doc.list_field(*text, "id").empty());
  int visits = 0;
  for (const ObjId& obj : {unknown, *text, ObjId::root()})
    doc.visit_list_maps(obj, [&](const MapView&) { ++visits; });
  EXPECT_EQ(visits, 0);
  EXPECT_EQ(doc.list_values(*text),
            (std::vector<Value>{Value{Scalar{std::string("a")}}, Value{Scalar{std::string("b")}}}));
}

// Objects are found through an index that must follow the object table when a rollback
// replaces it and as it grows past its first capacity.
TEST(BulkReads, ObjectLookupSurvivesRollbackAndGrowth) {
  Document doc(actor(1));
  auto list = doc.put_object(ObjId::root(), "list", ObjType::List);
  ASSERT_TRUE(list);
  std::vector<ObjId> maps;
  for (int i = 0; i < 3000; ++i) {
    auto m = doc.insert_object(*list, static_cast<std::size_t>(i), ObjType::Map);
    ASSERT_TRUE(m);
    ASSERT_TRUE(doc.put(*m, "id", static_cast<std::int64_t>(i)));
    maps.push_back(*m);
  }
  doc.commit();
  auto pending = doc.put_object(ObjId::root(), "pending", ObjType::Map);
  ASSERT_TRUE(pending);
  ASSERT_TRUE(doc.put(*pending, "x", true));
  doc.rollback();
  EXPECT_FALSE(doc.object_type(*pending).has_value());
  EXPECT_FALSE(doc.get(ObjId::root(), "pending").has_value());
  EXPECT_FALSE(doc.put(*pending, "x", true));
  const auto ids = doc.list_field(*list, "id");
  ASSERT_EQ(ids.size(), maps.size());
  for (std::size_t i = 0; i < maps.size(); ++i) {
    ASSERT_EQ(doc.object_type(maps[i]), ObjType::Map) << i;
    ASSERT_EQ(ids[i], Value{Scalar{static_cast<std::int64_t>(i)}}) << i;
  }
  // Writes after the rollback reuse the rolled-back counters for new objects.
  auto again = doc.put_object(ObjId::root(), "again", ObjType::List);
  ASSERT_TRUE(again);
  EXPECT_EQ(doc.object_type(*again), ObjType::List);
}

TEST(Revision, MovesWithEveryContentChangeOnly) {
  Document a(actor(1));
  Document b(actor(2));
  EXPECT_NE(a.revision(), b.revision());
  ASSERT_TRUE(b.put(ObjId::root(), "k", std::int64_t{1}));
  b.commit();

  struct Step {
    const char* name;
    std::function<void()> run;
    bool changes;
  };
  const std::vector<Step> steps = {
      {"reads", [&] { (void)a.get(ObjId::root(), "k"), (void)a.map_entries(ObjId::root()); },
       false},
      {"put", [&] { ASSERT_TRUE(a.put(ObjId::root(), "x", true)); }, true},
      {"commit", [&] { a.commit(); }, false},
      {"put then rollback",
       [&] {
         ASSERT_TRUE(a.put(ObjId::root(), "y", true));
         const auto before = a.revision();
         a.rollback();
         EXPECT_NE(a.revision(), before);
       },
       true},
      {"merge", [&] { ASSERT_TRUE(a.merge(b)); }, true},
      {"apply a change already present", [&] { ASSERT_TRUE(a.apply_changes(b.changes_since({}))); },
       false},
      {"refused write", [&] { EXPECT_FALSE(a.insert(ObjId::root(), 0, true)); }, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const auto before = a.revision();
    step.run();
    EXPECT_EQ(a.revision() != before, step.changes);
  }
  EXPECT_EQ(*a.get(ObjId::root(), "k"), Value{Scalar{std::int64_t{1}}});
}

}  // namespace
}  // namespace crdt
