#include "document/upkeep.h"

#include <vector>

#include "document/access.h"
#include "document/entities.h"
#include "document/seed.h"
#include "platform/zarn_ui/doc/splice.h"

namespace chat::document {

namespace {

using crdt::ObjId;

constexpr std::string_view kBlobScheme = "zarn-blob://";

}  // namespace

void run_upkeep(crdt::Document& doc, UpkeepState& state, const LocalUser& local) {
  if (state.interactive) {
    write_starter_content(doc, local);
    upsert_user(doc, local.id, local.name, local.initials, local.color_idx, Presence::Online);
  } else if (state.starter) {
    write_starter_content(doc, local);
  } else {
    write_demo_content(doc);
  }
  if (!state.attachments_migrated) {
    migrate_attachments(doc);
    state.attachments_migrated = true;
  }
}

std::size_t migrate_attachments(crdt::Document& doc) {
  struct Pending {
    ObjId attachment;
    std::string blob;
  };
  std::vector<Pending> pending;
  auto messages = get_map(doc, ObjId::root(), kMessages);
  if (!messages) return 0;
  for (const std::string& channel : doc.keys(*messages)) {
    auto list = get_list(doc, *messages, channel);
    if (!list) continue;
    const std::size_t n = doc.length(*list);
    for (std::size_t i = 0; i < n; ++i) {
      auto msg = map_at(doc, *list, i);
      if (!msg) continue;
      auto att = get_map(doc, *msg, "attachment");
      if (!att) continue;
      auto path = read_str(doc, *att, "path");
      if (path && path->starts_with(kBlobScheme)) {
        pending.push_back(Pending{*att, path->substr(kBlobScheme.size())});
      }
    }
  }
  // Rewritten after the visit so the walk never sees a half-migrated map.
  for (const Pending& p : pending) {
    put_str(doc, p.attachment, "blob", p.blob);
    (void)doc.delete_key(p.attachment, "path");
  }
  return pending.size();
}

std::string draft_key(std::string_view channel) {
  return std::string(channel);
}

std::string thread_draft_key(std::string_view channel, std::string_view root_id) {
  std::string key(channel);
  key += "::t::";
  key += root_id;
  return key;
}

std::string read_draft(const crdt::Document& doc, std::string_view key) {
  auto drafts = get_map(doc, ObjId::root(), kDrafts);
  if (!drafts) return {};
  return read_text(doc, *drafts, key).value_or(std::string());
}

zarn::Result<void> set_draft(crdt::Document& doc, std::string_view key, std::string_view content) {
  if (!is_valid_utf8(content)) return zarn::make_error("draft text is not valid UTF-8");
  auto drafts = get_map(doc, ObjId::root(), kDrafts);
  std::optional<ObjId> text = drafts ? get_text(doc, *drafts, key) : std::nullopt;
  if (text) return zarn_ui::doc::splice_text_diffed(doc, *text, content);
  if (content.empty()) return zarn::ok();
  const ObjId drafts_map = drafts ? *drafts : ensure_map(doc, ObjId::root(), kDrafts);
  const ObjId fresh = ensure_text(doc, drafts_map, key);
  return doc.splice_text(fresh, 0, 0, content);
}

zarn::Result<void> clear_draft(crdt::Document& doc, std::string_view key) {
  return set_draft(doc, key, {});
}

}  // namespace chat::document
