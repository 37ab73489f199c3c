#include "platform/zarn_ui/search/catalog_provider.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace zarn_ui::search::provider {

CatalogProvider::CatalogProvider(std::string name, std::optional<SearchCatalog> catalog,
                                 ResolveHit resolve)
    : name_(std::move(name)), catalog_(std::move(catalog)), resolve_(std::move(resolve)) {}

std::optional<std::string> CatalogProvider::reserved() const {
  return std::nullopt;
}

std::optional<CatalogStats> CatalogProvider::stats() const {
  std::shared_lock lock(mutex_);
  if (!catalog_) return std::nullopt;
  auto s = catalog_->stats();
  if (!s) return std::nullopt;
  return std::move(s.value());
}

bool CatalogProvider::cursor_is_current(const SearchCursor& cursor) const {
  std::shared_lock lock(mutex_);
  return catalog_ && catalog_->cursor_is_current(cursor);
}

std::vector<SearchResult> CatalogProvider::query(std::string_view text) const {
  return query(text, kMaxResults);
}

std::vector<SearchResult> CatalogProvider::query(std::string_view text, std::size_t limit) const {
  auto page = query_page(text, std::nullopt, PageArgs{kMaxResults, std::min(limit, kMaxResults)});
  if (!page) return {};
  return std::move(page.value().results);
}

zarn::Result<SearchPage> CatalogProvider::query_page(std::string_view text,
                                                     const std::optional<SearchCursor>& cursor,
                                                     PageArgs args) const {
  std::shared_lock lock(mutex_);
  if (!catalog_) return SearchPage{};
  return catalog_->query_page(text, cursor, args);
}

std::optional<zarn_actions::Resource> CatalogProvider::resolve_hit(
    std::string_view action_address) const {
  std::shared_lock lock(mutex_);
  if (!resolve_) return std::nullopt;
  return resolve_(action_address);
}

void CatalogProvider::replace_catalog(std::optional<SearchCatalog> catalog) {
  std::unique_lock lock(mutex_);
  catalog_ = std::move(catalog);
}

}  // namespace zarn_ui::search::provider
