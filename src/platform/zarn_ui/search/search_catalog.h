// SearchCatalog: a named, in-memory full-text catalogue of entries (key, text, result) backed by
// SQLite FTS5 with the trigram tokenizer over normalised text; queries shorter than three
// characters fall back to a substring scan. Results come in pages; a cursor is current only for
// the catalogue instance and contents it was issued by. Inserts need exclusive access; const
// operations may run on several threads at once (the connection is opened fully serialised).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"

struct sqlite3;

namespace zarn_ui::search::provider {

struct SearchResult {
  std::string title;
  std::string section;
  std::string action;  // encoded action address invoked when the hit is chosen
  std::optional<std::string> detail;
  std::optional<std::uint8_t> code;
  bool operator==(const SearchResult&) const = default;
};

// Where the next page of a query starts.
struct SearchCursor {
  std::uint64_t catalog = 0;     // instance that issued it
  std::uint64_t generation = 0;  // contents it was issued for
  std::string query;             // normalised query text
  std::size_t offset = 0;
  bool operator==(const SearchCursor&) const = default;
};

struct PageArgs {
  std::size_t page_size = 256;  // results per page
  std::size_t limit = 256;      // results over all pages of the query
};

struct SearchPage {
  std::vector<SearchResult> results;
  std::vector<std::string> keys;     // parallel to results
  std::optional<SearchCursor> next;  // absent on the last page
};

struct CatalogStats {
  std::string name;
  std::size_t entries = 0;
  std::size_t text_bytes = 0;  // normalised text indexed
  std::uint64_t generation = 0;
  bool operator==(const CatalogStats&) const = default;
};

class SearchCatalog {
 public:
  static zarn::Result<SearchCatalog> create(std::string name);
  SearchCatalog(SearchCatalog&&) noexcept;
  SearchCatalog& operator=(SearchCatalog&&) noexcept;
  ~SearchCatalog();

  const std::string& name() const { return name_; }

  // Inserts or replaces the entry under `key`.
  zarn::Result<void> insert(std::string_view key, std::string_view text, SearchResult result);
  // Groups many inserts into one transaction; much faster for bulk builds.
  zarn::Result<void> begin_batch();
  zarn::Result<void> end_batch();

  // Best matches first (rank, then insertion order). A cursor from another catalogue, older
  // contents or another query is refused.
  zarn::Result<SearchPage> query_page(std::string_view text,
                                      const std::optional<SearchCursor>& cursor,
                                      PageArgs args) const;
  zarn::Result<CatalogStats> stats() const;
  bool cursor_is_current(const SearchCursor& cursor) const;

 private:
  struct Db;
  SearchCatalog(std::string name, std::unique_ptr<Db> db, std::uint64_t instance);

  std::string name_;
  std::unique_ptr<Db> db_;
  std::uint64_t instance_ = 0;
  std::uint64_t generation_ = 0;
  std::size_t text_bytes_ = 0;
};

}  // namespace zarn_ui::search::provider
