// Damaged input: every truncation and every single-byte change of a small saved document (and
// of a change stream) must give an error or a usable document, never a crash or a hang.
#include <gtest/gtest.h>

#include "dump.h"
#include "platform/crdt/detail/formats.h"
#include "platform/crdt/document.h"

namespace crdt {
namespace {

using testing::dump;

Document small_doc() {
  ActorId a;
  a.bytes.fill(1);
  Document doc(a);
  ObjId list = *doc.put_object(ObjId::root(), "list", ObjType::List);
  ObjId text = *doc.put_object(ObjId::root(), "text", ObjType::Text);
  (void)doc.splice_text(text, 0, 0, "héllo😀");
  (void)doc.insert(list, 0, std::int64_t{-3});
  ObjId m = *doc.insert_object(list, 1, ObjType::Map);
  (void)doc.put(m, "s", std::string("x"));
  (void)doc.put(ObjId::root(), "n", Counter{2});
  doc.commit({}, 7);
  Document other = doc.fork();
  (void)other.set(list, 0, 2.5);
  (void)other.increment(ObjId::root(), "n", 3);
  (void)doc.delete_at(list, 0);
  (void)doc.splice_text(text, 1, 2, "");
  doc.commit("two", 8);
  (void)doc.merge(other);
  return doc;
}

// A document that loaded must be readable, savable and loadable again.
void exercise(Document& doc) {
  std::string d = dump(doc);
  auto again = Document::load(doc.save());
  ASSERT_TRUE(again) << again.error();
  EXPECT_EQ(dump(*again), d);
  (void)doc.changes();
  (void)doc.changes_since({});
  (void)doc.put(ObjId::root(), "after", true);
}

// Loads damaged bytes with their checksums recomputed, so the decoder itself meets the damage.
// `full` also saves, reloads and edits what loaded; otherwise it is read in full.
void try_load(Bytes bytes, bool full) {
  detail::reseal(bytes);
  auto doc = Document::load(bytes);
  if (!doc) {
    EXPECT_FALSE(doc.error().empty());
  } else if (full) {
    exercise(*doc);
  } else {
    (void)dump(*doc);
    (void)doc->heads();
  }
}

TEST(Corruption, EveryTruncationOfASnapshotFailsCleanly) {
  Document doc = small_doc();
  const Bytes saved = doc.save();
  for (std::size_t n = 0; n < saved.size(); ++n) {
    SCOPED_TRACE(n);
    Bytes cut(saved.begin(), saved.begin() + n);
    auto loaded = Document::load(cut);
    if (n == 0) {
      ASSERT_TRUE(loaded);  // no chunks: an empty document
      EXPECT_EQ(loaded->length(ObjId::root()), 0u);
    } else {
      EXPECT_FALSE(loaded);
    }
  }
}

TEST(Corruption, EverySingleByteChangeOfASnapshotGivesAnErrorOrADocument) {
  Document doc = small_doc();
  const Bytes saved = doc.save();
  std::size_t rejected_by_checksum = 0;
  for (std::size_t i = 0; i < saved.size(); ++i) {
    Bytes flipped = saved;
    flipped[i] ^= 0x01;
    rejected_by_checksum += !Document::load(flipped);
    for (int v = 0; v < 256; ++v) {
      if (v == saved[i]) continue;
      Bytes bad = saved;
      bad[i] = static_cast<std::uint8_t>(v);
      const bool full = v == 0 || v == 0xff || v == (saved[i] ^ 0x01) || v == (saved[i] ^ 0x80);
      try_load(bad, full);
      if (::testing::Test::HasFatalFailure()) {
        ADD_FAILURE() << "byte " << i << " value " << v;
        return;
      }
    }
  }
  // With the checksum left alone, damage is refused up front.
  EXPECT_EQ(rejected_by_checksum, saved.size());
}

TEST(Corruption, DamagedChangeStreamsLeaveTheDocumentUnchanged) {
  Document doc = small_doc();
  const Bytes changes = doc.changes_since({});
  for (std::size_t i = 0; i < changes.size(); ++i) {
    SCOPED_TRACE(i);
    for (int v : {0x00, 0x01, 0x7f, 0x80, 0xff}) {
      if (v == changes[i]) continue;
      Bytes bad = changes;
      bad[i] = static_cast<std::uint8_t>(v);
      detail::reseal(bad);
      ActorId b;
      b.bytes.fill(9);
      Document target(b);
      (void)target.put(ObjId::root(), "mine", std::int64_t{1});
      target.commit({}, 0);
      const std::string before = dump(target);
      const auto heads = target.heads();
      auto r = target.apply_changes(bad);
      if (!r) {
        EXPECT_EQ(dump(target), before);
        EXPECT_EQ(target.heads(), heads);
      } else {
        exercise(target);
      }
      if (::testing::Test::HasFatalFailure()) return;
    }
    Bytes cut(changes.begin(), changes.begin() + i);
    Document fresh;
    auto r = fresh.apply_changes(cut);
    if (r) exercise(fresh);
  }
}

}  // namespace
}  // namespace crdt
