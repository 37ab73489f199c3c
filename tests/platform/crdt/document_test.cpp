#include "platform/crdt/document.h"

#include <gtest/gtest.h>

#include <functional>

#include "dump.h"

namespace crdt {
namespace {

using testing::dump;

ActorId actor(std::uint8_t b) {
  ActorId a;
  a.bytes.fill(b);
  return a;
}

TEST(DocumentEdgeCases, WritesRejectBadTargets) {
  Document doc(actor(1));
  ObjId list = *doc.put_object(ObjId::root(), "list", ObjType::List);
  ObjId text = *doc.put_object(ObjId::root(), "text", ObjType::Text);
  ObjId map = *doc.put_object(ObjId::root(), "map", ObjType::Map);
  ASSERT_TRUE(doc.insert(list, 0, std::int64_t{1}));
  ASSERT_TRUE(doc.splice_text(text, 0, 0, "ab"));
  ObjId missing{99, actor(7)};

  struct Case {
    const char* name;
    std::function<zarn::Result<void>()> write;
  };
  const std::string bad_utf8 = "a\xff";
  const Case cases[] = {
      {"put on a list", [&] { return doc.put(list, "k", Null{}); }},
      {"put on an unknown object", [&] { return doc.put(missing, "k", Null{}); }},
      {"put a string with bad UTF-8", [&] { return doc.put(map, "k", bad_utf8); }},
      {"insert into a map", [&] { return doc.insert(map, 0, Null{}); }},
      {"insert into a text", [&] { return doc.insert(text, 0, Null{}); }},
      {"insert past the end", [&] { return doc.insert(list, 2, Null{}); }},
      {"set past the end", [&] { return doc.set(list, 1, Null{}); }},
      {"delete past the end", [&] { return doc.delete_at(list, 1); }},
      {"delete in a map by index", [&] { return doc.delete_at(map, 0); }},
      {"delete a key of a list", [&] { return doc.delete_key(list, "k"); }},
      {"splice past the end", [&] { return doc.splice(list, 0, 2, {}); }},
      {"splice_text on a list", [&] { return doc.splice_text(list, 0, 0, "x"); }},
      {"splice_text past the end", [&] { return doc.splice_text(text, 3, 0, "x"); }},
      {"splice_text deleting past the end", [&] { return doc.splice_text(text, 1, 2, ""); }},
      {"splice_text with bad UTF-8", [&] { return doc.splice_text(text, 0, 0, bad_utf8); }},
      {"splice_text with a lone surrogate",
       [&] { return doc.splice_text(text, 0, 0, "\xed\xa0\x80"); }},
      {"splice_text with an overlong", [&] { return doc.splice_text(text, 0, 0, "\xc0\xaf"); }},
      {"increment a missing key", [&] { return doc.increment(map, "none", 1); }},
      {"increment a non-counter",
       [&] {
         (void)doc.put(map, "n", std::int64_t{1});
         return doc.increment(map, "n", 1);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string before = dump(doc);
    auto r = c.write();
    EXPECT_FALSE(r.has_value());
    EXPECT_FALSE(r.error().empty());
    if (std::string(c.name) != "increment a non-counter") {
      EXPECT_EQ(dump(doc), before);
    }
  }
  auto obj = doc.put_object(list, "k", ObjType::Map);
  EXPECT_FALSE(obj.has_value());
  EXPECT_FALSE(doc.insert_object(list, 5, ObjType::Map).has_value());
  EXPECT_FALSE(doc.set_object(text, 0, ObjType::Map).has_value());
}

TEST(DocumentEdgeCases, ReadsOfMissingThingsAreEmpty) {
  Document doc(actor(1));
  ObjId list = *doc.put_object(ObjId::root(), "list", ObjType::List);
  ObjId missing{42, actor(9)};
  EXPECT_FALSE(doc.get(ObjId::root(), "nope"));
  EXPECT_FALSE(doc.get(list, 0));
  EXPECT_FALSE(doc.get(list, "key"));
  EXPECT_FALSE(doc.get(missing, "k"));
  EXPECT_EQ(doc.length(missing), 0u);
  EXPECT_EQ(doc.text(list), "");
  EXPECT_FALSE(doc.object_type(missing));
  EXPECT_EQ(doc.object_type(list), ObjType::List);
  EXPECT_EQ(doc.object_type(ObjId::root()), ObjType::Map);
}

TEST(DocumentEdgeCases, ScalarsRoundTripThroughSaveAndLoad) {
  Document doc(actor(1));
  const Scalar values[] = {
      Null{}, std::string("héllo"), std::int64_t{-5},        std::uint64_t{~0ull}, 2.5,
      true,   Counter{7},           Timestamp{1700000000123}};
  for (std::size_t i = 0; i < std::size(values); ++i)
    ASSERT_TRUE(doc.put(ObjId::root(), "k" + std::to_string(i), values[i]));
  auto loaded = Document::load(doc.save());
  ASSERT_TRUE(loaded) << loaded.error();
  for (std::size_t i = 0; i < std::size(values); ++i) {
    SCOPED_TRACE(i);
    for (const Document* d : {&doc, &*loaded}) {
      auto v = d->get(ObjId::root(), "k" + std::to_string(i));
      ASSERT_TRUE(v);
      EXPECT_EQ(std::get<Scalar>(v->v), values[i]);
    }
  }
  EXPECT_EQ(*doc.get(ObjId::root(), "k2")->as_int(), -5);
  EXPECT_EQ(*doc.get(ObjId::root(), "k6")->as_counter(), 7);
  EXPECT_FALSE(doc.get(ObjId::root(), "k2")->as_uint());
}

TEST(DocumentEdgeCases, TextIndexesByScalarValue) {
  Document doc(actor(1));
  ObjId t = *doc.put_object(ObjId::root(), "t", ObjType::Text);
  ASSERT_TRUE(doc.splice_text(t, 0, 0, "a😀b"));
  EXPECT_EQ(doc.length(t), 3u);
  EXPECT_EQ(*doc.get(t, 1)->as_str(), "😀");
  ASSERT_TRUE(doc.splice_text(t, 2, 0, "é"));
  EXPECT_EQ(doc.text(t), "a😀éb");
  ASSERT_TRUE(doc.splice_text(t, 1, 1, ""));
  EXPECT_EQ(doc.text(t), "aéb");
  ASSERT_TRUE(doc.splice_text(t, 0, 3, "👍🏽"));  // two scalar values
  EXPECT_EQ(doc.length(t), 2u);
}

TEST(DocumentEdgeCases, ConcurrentPutsKeepConflictsAndGreatestIdWins) {
  Document a(actor(1));
  Document b(actor(2));
  ASSERT_TRUE(a.put(ObjId::root(), "k", std::string("from a")));
  ASSERT_TRUE(b.put(ObjId::root(), "k", std::string("from b")));
  ASSERT_TRUE(a.merge(b));
  ASSERT_TRUE(b.merge(a));
  // Same counter: the greater actor wins on both sides.
  for (Document* d : {&a, &b}) {
    auto all = d->get_all(ObjId::root(), "k");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(*all[0].as_str(), "from b");
    EXPECT_EQ(*all[1].as_str(), "from a");
    EXPECT_EQ(*d->get(ObjId::root(), "k")->as_str(), "from b");
  }
  // A later put sees both values and replaces them.
  ASSERT_TRUE(a.put(ObjId::root(), "k", std::string("resolved")));
  EXPECT_EQ(a.get_all(ObjId::root(), "k").size(), 1u);
}

TEST(DocumentEdgeCases, DeleteRemovesOnlyWhatItSaw) {
  Document a(actor(1));
  ASSERT_TRUE(a.put(ObjId::root(), "k", std::int64_t{1}));
  ObjId list = *a.put_object(ObjId::root(), "l", ObjType::List);
  ASSERT_TRUE(a.insert(list, 0, std::string("x")));
  a.commit();
  Document b = a.fork(actor(2));
  ASSERT_TRUE(a.delete_key(ObjId::root(), "k"));
  ASSERT_TRUE(a.delete_at(list, 0));
  ASSERT_TRUE(b.put(ObjId::root(), "k", std::int64_t{2}));
  ASSERT_TRUE(b.set(list, 0, std::string("y")));
  ASSERT_TRUE(a.merge(b));
  ASSERT_TRUE(b.merge(a));
  for (Document* d : {&a, &b}) {
    EXPECT_EQ(*d->get(ObjId::root(), "k")->as_int(), 2);
    ASSERT_EQ(d->length(list), 1u);
    EXPECT_EQ(*d->get(list, 0)->as_str(), "y");
  }
  EXPECT_EQ(dump(a), dump(b));
}

TEST(DocumentEdgeCases, ConcurrentIncrementsAddUp) {
  Document a(actor(1));
  ASSERT_TRUE(a.put(ObjId::root(), "n", Counter{10}));
  a.commit();
  Document b = a.fork(actor(2));
  ASSERT_TRUE(a.increment(ObjId::root(), "n", 5));
  ASSERT_TRUE(b.increment(ObjId::root(), "n", -3));
  ASSERT_TRUE(b.increment(ObjId::root(), "n", 1));
  ASSERT_TRUE(a.merge(b));
  EXPECT_EQ(*a.get(ObjId::root(), "n")->as_counter(), 13);
  auto loaded = Document::load(a.save());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded->get(ObjId::root(), "n")->as_counter(), 13);
}

TEST(DocumentTransactions, CommitRollbackAndHeads) {
  Document doc(actor(1));
  EXPECT_FALSE(doc.commit());
  EXPECT_TRUE(doc.heads().empty());
  ASSERT_TRUE(doc.put(ObjId::root(), "a", std::int64_t{1}));
  ObjId t = *doc.put_object(ObjId::root(), "t", ObjType::Text);
  ASSERT_TRUE(doc.splice_text(t, 0, 0, "hello"));
  EXPECT_EQ(doc.pending_ops(), 7u);
  auto h1 = doc.commit("first", 1000);
  ASSERT_TRUE(h1);
  EXPECT_EQ(doc.heads(), std::vector<ChangeHash>{*h1});
  EXPECT_FALSE(doc.commit());

  const std::string committed = dump(doc);
  ASSERT_TRUE(doc.put(ObjId::root(), "a", std::int64_t{2}));
  ASSERT_TRUE(doc.splice_text(t, 1, 3, "ipp"));
  ObjId gone = *doc.put_object(ObjId::root(), "gone", ObjType::List);
  ASSERT_TRUE(doc.insert(gone, 0, true));
  ASSERT_TRUE(doc.delete_key(ObjId::root(), "a"));
  doc.rollback();
  EXPECT_EQ(doc.pending_ops(), 0u);
  EXPECT_EQ(dump(doc), committed);
  EXPECT_FALSE(doc.object_type(gone));
  EXPECT_EQ(doc.heads(), std::vector<ChangeHash>{*h1});

  // Op ids reused after a rollback must still give a consistent history.
  ASSERT_TRUE(doc.splice_text(t, 5, 0, "!"));
  auto h2 = doc.commit("second", 1001);
  ASSERT_TRUE(h2);
  auto info = doc.changes();
  ASSERT_EQ(info.size(), 2u);
  EXPECT_EQ(info[0].message, "first");
  EXPECT_EQ(info[0].time, 1000);
  EXPECT_EQ(info[0].op_count, 7u);
  EXPECT_EQ(info[1].seq, 2u);
  EXPECT_EQ(info[1].start_op, 8u);
  EXPECT_EQ(info[1].deps, std::vector<ChangeHash>{*h1});
  auto copy = Document::load(doc.save());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->text(t), "hello!");
  EXPECT_EQ(copy->heads(), doc.heads());
}

TEST(DocumentPersistence, SnapshotPlusIncrementalChunksLoadsTheSame) {
  Document doc(actor(1));
  ObjId list = *doc.put_object(ObjId::root(), "msgs", ObjType::List);
  Bytes file = doc.save();
  for (int i = 0; i < 5; ++i) {
    ObjId m = *doc.insert_object(list, doc.length(list), ObjType::Map);
    ObjId body = *doc.put_object(m, "body", ObjType::Text);
    ASSERT_TRUE(doc.splice_text(body, 0, 0, "message " + std::to_string(i)));
    ASSERT_TRUE(doc.put(m, "ts", Timestamp{i}));
    if (i == 2) {
      ASSERT_TRUE(doc.delete_at(list, 0));
    }
    doc.commit();
    Bytes chunk = doc.save_incremental();
    EXPECT_FALSE(chunk.empty());
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  EXPECT_TRUE(doc.save_incremental().empty());
  auto loaded = Document::load(file);
  ASSERT_TRUE(loaded) << loaded.error();
  EXPECT_EQ(dump(*loaded), dump(doc));
  EXPECT_EQ(loaded->heads(), doc.heads());
  EXPECT_EQ(loaded->change_count(), doc.change_count());

  // Chunks alone, without a snapshot.
  auto from_chunks = Document::load(doc.changes_since({}));
  ASSERT_TRUE(from_chunks) << from_chunks.error();
  EXPECT_EQ(dump(*from_chunks), dump(doc));
  EXPECT_EQ(from_chunks->heads(), doc.heads());

  // A loaded document rebuilds the changes it never saw as chunks, with the same hashes.
  auto reloaded = Document::load(loaded->save());
  ASSERT_TRUE(reloaded);
  auto a = doc.changes();
  auto b = reloaded->changes();
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].hash, b[i].hash) << i;
  EXPECT_EQ(reloaded->changes_since({}), doc.changes_since({}));
}

TEST(DocumentSync, OutOfOrderChangesWaitForTheirDeps) {
  Document a(actor(1));
  std::vector<Bytes> chunks;
  for (int i = 0; i < 3; ++i) {
    auto heads = a.heads();
    ASSERT_TRUE(a.put(ObjId::root(), "k", std::int64_t{i}));
    a.commit();
    chunks.push_back(a.changes_since(heads));
  }
  Document b(actor(2));
  ASSERT_TRUE(b.apply_changes(chunks[2]));
  ASSERT_TRUE(b.apply_changes(chunks[1]));
  EXPECT_EQ(b.queued_changes(), 2u);
  EXPECT_FALSE(b.get(ObjId::root(), "k"));
  ASSERT_TRUE(b.apply_changes(chunks[0]));
  EXPECT_EQ(b.queued_changes(), 0u);
  EXPECT_EQ(*b.get(ObjId::root(), "k")->as_int(), 2);
  ASSERT_TRUE(b.apply_changes(chunks[1]));  // duplicates are harmless
  EXPECT_EQ(b.change_count(), 3u);
  EXPECT_EQ(b.heads(), a.heads());
}

TEST(DocumentSync, BadChangesAreRejectedWithoutSideEffects) {
  Document a(actor(1));
  ASSERT_TRUE(a.put(ObjId::root(), "k", std::int64_t{1}));
  a.commit();
  Bytes good = a.changes_since({});
  Document b(actor(2));
  ASSERT_TRUE(b.put(ObjId::root(), "mine", true));
  b.commit();
  const std::string before = dump(b);
  const auto heads = b.heads();

  Bytes tampered = good;
  tampered.back() ^= 1;  // content no longer matches the checksum
  EXPECT_FALSE(b.apply_changes(tampered));
  Bytes truncated(good.begin(), good.end() - 1);
  EXPECT_FALSE(b.apply_changes(truncated));
  // A valid first change followed by garbage: nothing of the batch lands.
  Bytes mixed = good;
  mixed.push_back('Z');
  EXPECT_FALSE(b.apply_changes(mixed));
  EXPECT_EQ(dump(b), before);
  EXPECT_EQ(b.heads(), heads);
  EXPECT_EQ(b.queued_changes(), 0u);
  ASSERT_TRUE(b.apply_changes(good));
  EXPECT_EQ(*b.get(ObjId::root(), "k")->as_int(), 1);
}

}  // namespace
}  // namespace crdt
