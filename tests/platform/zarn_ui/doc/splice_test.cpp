#include "platform/zarn_ui/doc/splice.h"

#include <gtest/gtest.h>

namespace {

crdt::ObjId make_text(crdt::Document& doc, std::string_view content) {
  auto text = doc.put_object(crdt::ObjId::root(), "t", crdt::ObjType::Text);
  EXPECT_TRUE(text.has_value());
  EXPECT_TRUE(doc.splice_text(*text, 0, 0, content).has_value());
  doc.commit();
  return *text;
}

TEST(SpliceTextDiffed, ReachesTheNewContent) {
  struct Case {
    const char* from;
    const char* to;
  };
  const Case cases[] = {
      {"", "hello"},          {"hello", ""},           {"hello", "help"},
      {"abc", "abXc"},        {"aaaa", "aa"},          {"héllo wörld", "héllo world"},
      {"👍🏽 ok", "👍🏿 ok"},  {"x😀y", "x😃y"},        {"same", "same"},
      {"ab", "ba"},           {"line\nnext", "line\n\nnext"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
    crdt::Document doc;
    auto text = make_text(doc, c.from);
    ASSERT_TRUE(zarn_ui::doc::splice_text_diffed(doc, text, c.to).has_value());
    EXPECT_EQ(doc.text(text), c.to);
  }
}

TEST(SpliceTextDiffed, EqualContentWritesNothing) {
  crdt::Document doc;
  auto text = make_text(doc, "draft 🙂");
  ASSERT_TRUE(zarn_ui::doc::splice_text_diffed(doc, text, "draft 🙂").has_value());
  EXPECT_EQ(doc.pending_ops(), 0u);
  EXPECT_FALSE(doc.commit().has_value());
}

TEST(SpliceTextDiffed, ConcurrentEditElsewhereSurvivesMerge) {
  crdt::Document a;
  auto text = make_text(a, "The quick brown fox jumps");
  crdt::Document b = a.fork();

  // a rewrites the end, b fixes the start; neither replaces the whole text.
  ASSERT_TRUE(zarn_ui::doc::splice_text_diffed(a, text, "The quick brown fox leaps").has_value());
  a.commit();
  ASSERT_TRUE(zarn_ui::doc::splice_text_diffed(b, text, "A quick brown fox jumps").has_value());
  b.commit();

  ASSERT_TRUE(a.merge(b).has_value());
  ASSERT_TRUE(b.merge(a).has_value());
  EXPECT_EQ(a.text(text), "A quick brown fox leaps");
  EXPECT_EQ(b.text(text), a.text(text));
}

}  // namespace
