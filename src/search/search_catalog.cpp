#include "search/search_catalog.h"

#include <unordered_map>
#include <utility>
#include <variant>

#include "platform/zarn_actions/action_address.h"

namespace chat::search {
namespace {

namespace sp = zarn_ui::search::provider;

constexpr std::string_view kSeparator = " \u00B7 ";
constexpr std::string_view kTextPrefix = "#";
constexpr std::string_view kVoicePrefix = "\U0001F50A";

// Decodes one scalar at `i` of valid UTF-8 and returns its length (1 for a stray byte).
std::size_t decode(std::string_view s, std::size_t i, char32_t& out) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t len = b0 < 0x80           ? 1
                    : (b0 >> 5) == 0x6  ? 2
                    : (b0 >> 4) == 0xE  ? 3
                    : (b0 >> 3) == 0x1E ? 4
                                        : 1;
  if (i + len > s.size()) len = 1;
  if (len == 1) {
    out = b0;
    return 1;
  }
  char32_t c = b0 & (0x7F >> len);
  for (std::size_t k = 1; k < len; ++k)
    c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  out = c;
  return len;
}

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string open_action(const std::string& key) {
  return zarn_actions::ActionAddress{key, "open"}.encode();
}

std::string_view channel_prefix(const document::Channel& channel) {
  return channel.voice ? kVoicePrefix : kTextPrefix;
}

std::string join(std::initializer_list<std::string_view> parts, std::string_view sep) {
  std::string out;
  bool first = true;
  for (auto p : parts) {
    if (!first) out += sep;
    out += p;
    first = false;
  }
  return out;
}

const std::string* attachment_name(const document::Message& m) {
  if (!m.attachment) return nullptr;
  return std::visit([](const auto& a) { return &a.name; }, *m.attachment);
}

std::string message_title(const document::Message& m) {
  const std::string trimmed = trim_unicode_space(m.text);
  if (!trimmed.empty()) return cut_scalars(trimmed, kTitleScalars);
  const std::string* name = attachment_name(m);
  // An attachment without a name would otherwise give an empty title.
  if (name != nullptr && !name->empty()) return *name;
  return "Attachment";
}

}  // namespace

std::string trim_unicode_space(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end) {
    char32_t c = 0;
    const std::size_t n = decode(text, begin, c);
    if (!is_white_space(c)) break;
    begin += n;
  }
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    char32_t c = 0;
    decode(text, start, c);
    if (!is_white_space(c)) break;
    end = start;
  }
  return std::string(text.substr(begin, end - begin));
}

std::string cut_scalars(std::string_view text, std::size_t max_scalars) {
  std::size_t i = 0;
  for (std::size_t n = 0; n < max_scalars && i < text.size(); ++n) {
    char32_t c = 0;
    i += decode(text, i, c);
  }
  return std::string(text.substr(0, i));
}

CatalogSource catalog_source(const document::ReadModel& model) {
  return CatalogSource{model.workspaces, model.channels, model.categories, model.all_messages,
                       model.users};
}

CatalogSource catalog_source(const crdt::Document& doc, const document::ReadModel& model) {
  return CatalogSource{model.workspaces, model.channels, model.categories,
                       document::read_all_messages(doc, model.channels), model.users};
}

std::vector<CatalogEntry> catalog_entries(const CatalogSource& src) {
  std::unordered_map<std::string_view, const std::string*> ws_names;
  for (const auto& w : src.workspaces) ws_names.emplace(w.id, &w.name);
  static const std::string kNoWorkspace = "Workspace";
  const auto ws_name = [&](const std::string& id) -> const std::string& {
    auto it = ws_names.find(id);
    return it == ws_names.end() ? kNoWorkspace : *it->second;
  };

  std::vector<CatalogEntry> out;
  out.reserve(src.workspaces.size() + src.channels.size() + src.categories.size() +
              src.messages.size() + src.users.size());

  for (const auto& w : src.workspaces) {
    std::string key = "chat.workspace:" + w.id;
    sp::SearchResult r{w.name, "Workspaces", open_action(key), "Workspace", std::nullopt};
    out.push_back(CatalogEntry{std::move(key), w.name, std::move(r)});
  }

  std::unordered_map<std::string_view, const document::Channel*> channels;
  for (const auto& c : src.channels) {
    channels.emplace(c.id, &c);
    std::string key = "chat.channel:" + c.id;
    const std::string& workspace = ws_name(c.workspace);
    const std::string topic = trim_unicode_space(c.topic);
    std::string detail = topic.empty() ? workspace : join({workspace, topic}, kSeparator);
    std::string title = std::string(channel_prefix(c)) + c.name;
    sp::SearchResult r{std::move(title), "Conversations", open_action(key), std::move(detail),
                       kNavigableCode};
    out.push_back(
        CatalogEntry{std::move(key), join({c.name, c.topic, workspace}, " "), std::move(r)});
  }

  for (const auto& c : src.categories) {
    std::string key = "chat.category:" + c.id;
    const std::string& workspace = ws_name(c.workspace);
    sp::SearchResult r{c.name, "Categories", open_action(key),
                       join({workspace, c.collapsed ? "collapsed" : "expanded"}, kSeparator),
                       std::nullopt};
    out.push_back(CatalogEntry{std::move(key), join({c.name, workspace}, " "), std::move(r)});
  }

  std::unordered_map<std::string_view, const std::string*> user_names;
  for (const auto& u : src.users) user_names.emplace(u.id, &u.name);
  for (const auto& m : src.messages) {
    auto ch = channels.find(m.channel);
    if (ch == channels.end()) continue;
    const document::Channel& channel = *ch->second;
    auto user = user_names.find(m.author);
    const std::string& author = user == user_names.end() ? m.author : *user->second;
    std::string key = "chat.message:" + m.id;
    std::string channel_label = std::string(channel_prefix(channel)) + channel.name;
    sp::SearchResult r{message_title(m), "Messages", open_action(key),
                       join({author, channel_label, ws_name(channel.workspace)}, kSeparator),
                       kNavigableCode};
    const std::string* att = attachment_name(m);
    out.push_back(CatalogEntry{std::move(key),
                               join({author, m.text, att ? std::string_view(*att) : ""}, " "),
                               std::move(r)});
  }

  for (const auto& u : src.users) {
    std::string key = "chat.person:" + u.id;
    sp::SearchResult r{u.name, "People", open_action(key), u.agent ? "Agent" : "Person",
                       std::nullopt};
    out.push_back(CatalogEntry{std::move(key), join({u.name, u.id}, " "), std::move(r)});
  }
  return out;
}

zarn::Result<sp::SearchCatalog> build_catalog(const CatalogSource& source) {
  auto catalog = sp::SearchCatalog::create("Chat");
  if (!catalog) return catalog;
  ZARN_TRY(catalog->begin_batch());
  for (auto& entry : catalog_entries(source)) {
    auto inserted = catalog->insert(entry.key, entry.text, std::move(entry.result));
    if (!inserted) {
      (void)catalog->end_batch();
      return std::move(inserted).take_error();
    }
  }
  ZARN_TRY(catalog->end_batch());
  return catalog;
}

namespace {

std::shared_ptr<sp::CatalogProvider> provider_of(const CatalogSource& source,
                                                 sp::CatalogProvider::ResolveHit resolve) {
  auto catalog = build_catalog(source);
  std::optional<sp::SearchCatalog> held;
  if (catalog) held = std::move(catalog.value());
  return std::make_shared<sp::CatalogProvider>("Chat", std::move(held), std::move(resolve));
}

}  // namespace

std::shared_ptr<sp::CatalogProvider> make_provider(const document::ReadModel& model,
                                                   sp::CatalogProvider::ResolveHit resolve) {
  return provider_of(catalog_source(model), std::move(resolve));
}

std::shared_ptr<sp::CatalogProvider> make_provider(const crdt::Document& doc,
                                                   const document::ReadModel& model,
                                                   sp::CatalogProvider::ResolveHit resolve) {
  return provider_of(catalog_source(doc, model), std::move(resolve));
}

}  // namespace chat::search
