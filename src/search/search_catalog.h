// The chat search catalogue: one entry per workspace, conversation, category, message and
// person of a read model, each keyed by its resource address and leading to the resource's
// "open" action. Entries are computed as plain values first so they can be checked without the
// index. Built on the UI thread from a copy of the read model; the provider may then be queried
// from any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "document/read_model.h"
#include "platform/base/result.h"
#include "platform/zarn_ui/search/catalog_provider.h"
#include "platform/zarn_ui/search/search_catalog.h"

namespace chat::search {

inline constexpr std::size_t kTitleScalars = 96;
inline constexpr std::uint8_t kNavigableCode = 83;  // conversations and messages

struct CatalogEntry {
  std::string key;
  std::string text;
  zarn_ui::search::provider::SearchResult result;
  bool operator==(const CatalogEntry&) const = default;
};

// The lists a catalogue is built from, copied out of the read model.
struct CatalogSource {
  std::vector<document::Workspace> workspaces;
  std::vector<document::Channel> channels;
  std::vector<document::Category> categories;
  std::vector<document::Message> messages;  // every channel's
  std::vector<document::Person> users;
};
CatalogSource catalog_source(const document::ReadModel& model);
// For a model rebuilt without all messages (AllMessages::Skip): reads them from the document.
CatalogSource catalog_source(const crdt::Document& doc, const document::ReadModel& model);

// Workspaces, conversations, categories, messages, people; each kind in list order.
std::vector<CatalogEntry> catalog_entries(const CatalogSource& source);

// Leading and trailing Unicode white space removed.
std::string trim_unicode_space(std::string_view text);
// The first `max_scalars` Unicode scalar values of valid UTF-8.
std::string cut_scalars(std::string_view text, std::size_t max_scalars);

zarn::Result<zarn_ui::search::provider::SearchCatalog> build_catalog(const CatalogSource& source);

// The provider handed to the platform; `resolve` answers chosen hits (may be empty).
std::shared_ptr<zarn_ui::search::provider::CatalogProvider> make_provider(
    const document::ReadModel& model,
    zarn_ui::search::provider::CatalogProvider::ResolveHit resolve);
// The same from a model rebuilt without all messages, reading them from the document.
std::shared_ptr<zarn_ui::search::provider::CatalogProvider> make_provider(
    const crdt::Document& doc, const document::ReadModel& model,
    zarn_ui::search::provider::CatalogProvider::ResolveHit resolve);

}  // namespace chat::search
