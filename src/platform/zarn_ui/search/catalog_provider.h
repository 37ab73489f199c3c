// CatalogProvider: a SearchCatalog behind a reader-writer lock, offered to the search host as
// its operation table. Every operation holds the read lock while it runs; result lists are
// capped at kMaxResults. Hits resolve to resources through a callback the owner supplies.
// Any thread; the catalogue is only replaced under the write lock.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/zarn_actions/resource.h"
#include "platform/zarn_ui/search/search_catalog.h"

namespace zarn_ui::search::provider {

inline constexpr std::size_t kMaxResults = 256;

class CatalogProvider {
 public:
  // The resource behind a chosen hit's action address, or none.
  using ResolveHit = std::function<std::optional<zarn_actions::Resource>(std::string_view)>;

  // A provider without a catalogue answers empty pages, no statistics and stale cursors.
  CatalogProvider(std::string name, std::optional<SearchCatalog> catalog, ResolveHit resolve);

  // Operation table, in order.
  std::optional<std::string> reserved() const;  // this provider supplies nothing here
  const std::string& name() const { return name_; }
  std::optional<CatalogStats> stats() const;
  bool cursor_is_current(const SearchCursor& cursor) const;
  std::vector<SearchResult> query(std::string_view text) const;
  std::vector<SearchResult> query(std::string_view text, std::size_t limit) const;
  zarn::Result<SearchPage> query_page(std::string_view text,
                                      const std::optional<SearchCursor>& cursor,
                                      PageArgs args) const;
  std::optional<zarn_actions::Resource> resolve_hit(std::string_view action_address) const;

  // Swaps in a rebuilt catalogue; earlier cursors stop being current.
  void replace_catalog(std::optional<SearchCatalog> catalog);

 private:
  std::string name_;
  mutable std::shared_mutex mutex_;
  std::optional<SearchCatalog> catalog_;
  ResolveHit resolve_;
};

}  // namespace zarn_ui::search::provider
