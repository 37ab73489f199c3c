#include "platform/zarn_ui/search/search_catalog.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/zarn_ui/search/catalog_provider.h"
#include "platform/zarn_ui/search/normalize.h"

namespace zarn_ui::search::provider {
namespace {

SearchResult result_for(std::string title) {
  return SearchResult{std::move(title), "Section", "x#open", std::nullopt, std::nullopt};
}

SearchCatalog make_catalog(const std::vector<std::pair<std::string, std::string>>& entries) {
  auto catalog = SearchCatalog::create("Test");
  EXPECT_TRUE(catalog) << catalog.error();
  for (const auto& [key, text] : entries) {
    EXPECT_TRUE(catalog->insert(key, text, result_for(key)));
  }
  return std::move(catalog.value());
}

std::vector<std::string> keys(const SearchCatalog& c, std::string_view q, PageArgs args = {}) {
  auto page = c.query_page(q, std::nullopt, args);
  EXPECT_TRUE(page) << page.error();
  return page ? page->keys : std::vector<std::string>{};
}

TEST(NormalizeTest, FoldsCaseAndDiacritics) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"Élan Vital", "elan vital"},
      {"STRASSE straße", "strasse strasse"},
      {"Crème brûlée", "creme brulee"},
      {"ﬁle", "file"},
      {"plain", "plain"},
      {"bad \xff byte", "bad \xef\xbf\xbd byte"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(normalize_text(c.in), c.out);
  }
}

TEST(SearchCatalogTest, FindsSubstringsAcrossCaseAndAccents) {
  const SearchCatalog c = make_catalog({{"k_cafe", "Meet at the Café Zürich"},
                                        {"k_other", "nothing related"},
                                        {"k_quote", "say \"hi\" 100% of_the time"}});
  struct Case {
    const char* query;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"cafe", {"k_cafe"}},
      {"ZURICH", {"k_cafe"}},
      {"  zür  ", {"k_cafe"}},
      {"related", {"k_other"}},
      {"\"hi\"", {"k_quote"}},
      {"100%", {"k_quote"}},
      {"f_t", {"k_quote"}},
      {"missing", {}},
      {"", {}},
      {"   ", {}},
      // Shorter than a trigram: substring scan, entries starting with the query first.
      {"no", {"k_other"}},
      {"ti", {"k_quote"}},
      {"%", {"k_quote"}},
      {"_", {"k_quote"}},
      {"é", {"k_cafe", "k_other", "k_quote"}},
  };
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.query);
    EXPECT_EQ(keys(c, cs.query), cs.expected);
  }
}

TEST(SearchCatalogTest, ReplacingAKeyReindexesIt) {
  SearchCatalog c = make_catalog({{"k", "apples"}, {"j", "pears"}});
  ASSERT_TRUE(c.insert("k", "oranges", result_for("k2")));
  EXPECT_TRUE(keys(c, "apples").empty());
  auto page = c.query_page("oranges", std::nullopt, {});
  ASSERT_TRUE(page);
  ASSERT_EQ(page->results.size(), 1u);
  EXPECT_EQ(page->results[0].title, "k2");
  auto stats = c.stats();
  ASSERT_TRUE(stats);
  EXPECT_EQ(stats->entries, 2u);
  EXPECT_EQ(stats->text_bytes, std::string("oranges").size() + std::string("pears").size());
}

TEST(SearchCatalogTest, ResultFieldsRoundTrip) {
  auto c = SearchCatalog::create("Chat");
  ASSERT_TRUE(c);
  const SearchResult full{"Title ✓", "Sec", "chat.channel:c#open", "detail", std::uint8_t{83}};
  const SearchResult bare{"T", "S", "a#open", std::nullopt, std::nullopt};
  ASSERT_TRUE(c->insert("a", "alpha words", full));
  ASSERT_TRUE(c->insert("b", "beta words", bare));
  auto page = c->query_page("words", std::nullopt, {});
  ASSERT_TRUE(page);
  ASSERT_EQ(page->results.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(page->keys[i]);
    EXPECT_TRUE(page->results[i] == (page->keys[i] == "a" ? full : bare));
  }
}

TEST(SearchCatalogTest, PagesWithCursorsUpToTheLimit) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 25; ++i) {
    entries.emplace_back("k" + std::to_string(100 + i), "common word " + std::to_string(i));
  }
  SearchCatalog c = make_catalog(entries);
  std::vector<std::string> seen;
  std::optional<SearchCursor> cursor;
  int pages = 0;
  do {
    auto page = c.query_page("common", cursor, PageArgs{10, 23});
    ASSERT_TRUE(page) << page.error();
    seen.insert(seen.end(), page->keys.begin(), page->keys.end());
    cursor = page->next;
    ++pages;
  } while (cursor && pages < 10);
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(seen.size(), 23u);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());

  auto first = c.query_page("common", std::nullopt, PageArgs{10, 100});
  ASSERT_TRUE(first && first->next);
  EXPECT_TRUE(c.cursor_is_current(*first->next));
  // Another query's cursor is refused; so is one from before a change or another catalogue.
  EXPECT_FALSE(c.query_page("word", first->next, PageArgs{10, 100}));
  SearchCatalog other = make_catalog(entries);
  EXPECT_FALSE(other.cursor_is_current(*first->next));
  ASSERT_TRUE(c.insert("new", "common again", result_for("new")));
  EXPECT_FALSE(c.cursor_is_current(*first->next));
  EXPECT_FALSE(c.query_page("common", first->next, PageArgs{10, 100}));
}

TEST(CatalogProviderTest, CapsResultsAndAnswersWithoutCatalogue) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 300; ++i)
    entries.emplace_back("k" + std::to_string(i), "needle " + std::to_string(i));
  CatalogProvider provider("Chat", make_catalog(entries), nullptr);
  EXPECT_EQ(provider.name(), "Chat");
  EXPECT_FALSE(provider.reserved());
  EXPECT_EQ(provider.query("needle", 1000).size(), kMaxResults);
  EXPECT_EQ(provider.query("needle").size(), kMaxResults);
  EXPECT_EQ(provider.query("needle", 7).size(), 7u);
  ASSERT_TRUE(provider.stats());
  EXPECT_EQ(provider.stats()->entries, 300u);
  EXPECT_FALSE(provider.resolve_hit("k1#open"));

  auto page = provider.query_page("needle", std::nullopt, PageArgs{100, 1000});
  ASSERT_TRUE(page && page->next);
  EXPECT_TRUE(provider.cursor_is_current(*page->next));
  provider.replace_catalog(std::nullopt);
  EXPECT_FALSE(provider.cursor_is_current(*page->next));
  EXPECT_FALSE(provider.stats());
  auto empty = provider.query_page("needle", std::nullopt, {});
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->results.empty());
}

TEST(CatalogProviderTest, ConcurrentReadersSeeConsistentResults) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 200; ++i)
    entries.emplace_back("k" + std::to_string(i), "shared text " + std::to_string(i));
  CatalogProvider provider("Chat", make_catalog(entries), nullptr);
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        if (provider.query("shared", 300).size() != 200) ++wrong;
        if (provider.query("xt 1", 300).size() != 111) ++wrong;  // "1", "10".."19", "100".."199"
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace zarn_ui::search::provider
