#include "document/access.h"

#include <gtest/gtest.h>

#include <limits>

namespace chat::document {
namespace {

using crdt::ObjId;
using crdt::Scalar;

TEST(ReadersTest, ScalarKindsReadAsTheirDefaultsUnlessTheyMatch) {
  crdt::Document doc;
  const ObjId root = ObjId::root();
  ASSERT_TRUE(doc.put(root, "str", Scalar{std::string("hi")}));
  ASSERT_TRUE(doc.put(root, "int", Scalar{std::int64_t{-7}}));
  ASSERT_TRUE(doc.put(root, "uint", Scalar{std::uint64_t{9}}));
  ASSERT_TRUE(doc.put(root, "big_uint", Scalar{std::uint64_t{1} << 63}));
  ASSERT_TRUE(doc.put(root, "f", Scalar{2.9}));
  ASSERT_TRUE(doc.put(root, "neg_f", Scalar{-2.9}));
  ASSERT_TRUE(doc.put(root, "huge_f", Scalar{1e300}));
  ASSERT_TRUE(doc.put(root, "nan", Scalar{std::numeric_limits<double>::quiet_NaN()}));
  ASSERT_TRUE(doc.put(root, "counter", Scalar{crdt::Counter{5}}));
  ASSERT_TRUE(doc.put(root, "stamp", Scalar{crdt::Timestamp{1234}}));
  ASSERT_TRUE(doc.put(root, "bool", Scalar{true}));
  ASSERT_TRUE(doc.put(root, "null", Scalar{crdt::Null{}}));
  ASSERT_TRUE(doc.put_object(root, "map", crdt::ObjType::Map));
  auto text = doc.put_object(root, "text", crdt::ObjType::Text);
  ASSERT_TRUE(text);
  ASSERT_TRUE(doc.splice_text(*text, 0, 0, "body"));

  struct Case {
    const char* key;
    std::optional<std::string> str;
    std::optional<std::int64_t> integer;
    std::optional<bool> boolean;
  };
  const Case cases[] = {
      {"str", "hi", std::nullopt, std::nullopt},
      {"int", std::nullopt, -7, std::nullopt},
      {"uint", std::nullopt, 9, std::nullopt},
      {"big_uint", std::nullopt, std::numeric_limits<std::int64_t>::min(), std::nullopt},
      {"f", std::nullopt, 2, std::nullopt},
      {"neg_f", std::nullopt, -2, std::nullopt},
      {"huge_f", std::nullopt, std::numeric_limits<std::int64_t>::max(), std::nullopt},
      {"nan", std::nullopt, std::nullopt, std::nullopt},
      {"counter", std::nullopt, 5, std::nullopt},
      {"stamp", std::nullopt, 1234, std::nullopt},
      {"bool", std::nullopt, std::nullopt, true},
      {"null", std::nullopt, std::nullopt, std::nullopt},
      {"map", std::nullopt, std::nullopt, std::nullopt},
      {"text", std::nullopt, std::nullopt, std::nullopt},
      {"missing", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(read_str(doc, root, c.key), c.str);
    EXPECT_EQ(read_int(doc, root, c.key), c.integer);
    EXPECT_EQ(read_bool(doc, root, c.key), c.boolean);
    EXPECT_EQ(str_or_empty(doc, root, c.key), c.str.value_or(""));
    EXPECT_EQ(int_or_zero(doc, root, c.key), c.integer.value_or(0));
    EXPECT_EQ(bool_or_false(doc, root, c.key), c.boolean.value_or(false));
  }
  EXPECT_EQ(read_text(doc, root, "text"), "body");
  EXPECT_EQ(read_text(doc, root, "str"), std::nullopt);
  EXPECT_TRUE(get_map(doc, root, "map"));
  EXPECT_FALSE(get_list(doc, root, "map"));
  EXPECT_FALSE(get_map(doc, root, "text"));
}

TEST(GetOrCreateTest, KeepsAnObjectOfTheWantedKindAndReplacesAnythingElse) {
  crdt::Document doc;
  const ObjId root = ObjId::root();
  const ObjId first = ensure_map(doc, root, "m");
  ASSERT_TRUE(doc.put(first, "k", Scalar{std::string("kept")}));
  EXPECT_EQ(ensure_map(doc, root, "m"), first);
  EXPECT_EQ(str_or_empty(doc, ensure_map(doc, root, "m"), "k"), "kept");

  ASSERT_TRUE(doc.put(root, "scalar", Scalar{std::int64_t{1}}));
  const ObjId list = ensure_list(doc, root, "scalar");
  EXPECT_EQ(get_list(doc, root, "scalar"), list);

  const ObjId text = ensure_text(doc, root, "m");  // a map is not a text: replaced
  EXPECT_NE(text, first);
  EXPECT_EQ(get_text(doc, root, "m"), text);

  EnsuredMap a = ensure_map_noting(doc, root, "fresh");
  EnsuredMap b = ensure_map_noting(doc, root, "fresh");
  EXPECT_TRUE(a.created);
  EXPECT_FALSE(b.created);
  EXPECT_EQ(a.id, b.id);
}

TEST(PutIfDiffersTest, EqualValuesWriteNothing) {
  crdt::Document doc;
  const ObjId m = ensure_map(doc, ObjId::root(), "m");
  put_str_if_differs(doc, m, "s", "a");
  put_int_if_differs(doc, m, "i", 3);
  put_bool_if_differs(doc, m, "b", false);
  doc.commit();
  const auto heads = doc.heads();

  put_str_if_differs(doc, m, "s", "a");
  put_int_if_differs(doc, m, "i", 3);
  put_bool_if_differs(doc, m, "b", false);
  EXPECT_EQ(doc.pending_ops(), 0u);

  put_int_if_differs(doc, m, "i", 4);
  put_bool_if_differs(doc, m, "b", true);
  EXPECT_EQ(doc.pending_ops(), 2u);
  EXPECT_EQ(int_or_zero(doc, m, "i"), 4);
  EXPECT_TRUE(bool_or_false(doc, m, "b"));
  doc.commit();
  EXPECT_NE(doc.heads(), heads);
}

TEST(PutIfDiffersTest, AValueOfAnotherKindCountsAsDifferent) {
  crdt::Document doc;
  const ObjId m = ensure_map(doc, ObjId::root(), "m");
  ASSERT_TRUE(doc.put(m, "b", Scalar{std::string("true")}));
  put_bool_if_differs(doc, m, "b", true);
  EXPECT_EQ(read_bool(doc, m, "b"), true);
}

TEST(Utf8Test, AcceptsOnlyWellFormedText) {
  struct Case {
    std::string_view text;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"plain", true},
      {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x8E\x89", true},
      {"\xC3", false},              // truncated
      {"\xC0\xAF", false},          // overlong slash
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xFF", false},
      {"a\x80z", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(is_valid_utf8(c.text), c.valid);
  }
}

using StopDeathTest = testing::Test;

TEST_F(StopDeathTest, RefusedStructuralWritesStopWithTheirMessage) {
  crdt::Document doc;
  // An object the document does not know refuses every insertion.
  crdt::ObjId unknown;
  unknown.counter = 424242;
  EXPECT_DEATH(ensure_map(doc, unknown, "k"), "put map");
  EXPECT_DEATH(ensure_list(doc, unknown, "k"), "put list");
  EXPECT_DEATH(ensure_text(doc, unknown, "k"), "put text");
  EXPECT_DEATH(append_map(doc, unknown, "insert msg"), "insert msg");
  EXPECT_DEATH(ensure_list(doc, unknown, "reactions", "rx"), "rx");
}

TEST(ScalarPutTest, RefusedScalarWritesAreIgnored) {
  crdt::Document doc;
  crdt::ObjId unknown;
  unknown.counter = 424242;
  put_str(doc, unknown, "k", "v");
  put_int_if_differs(doc, unknown, "k", 1);
  put_str(doc, ObjId::root(), "bad", "\xFF");
  EXPECT_EQ(read_str(doc, ObjId::root(), "bad"), std::nullopt);
  EXPECT_EQ(doc.pending_ops(), 0u);
}

}  // namespace
}  // namespace chat::document
