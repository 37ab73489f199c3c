// Upkeep the application performs on the workspace document by itself, outside chat actions:
// seeding by the interactive and starter flags, the local user's entry, the one-time attachment
// migration and drafts. Each run on an unchanged document writes nothing. UI thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "platform/crdt/document.h"

namespace chat::document {

// The fields of the local identity that the document needs.
struct LocalUser {
  std::string id;
  std::string name;
  std::string initials;
  std::int64_t color_idx = 0;
};

// Per application object.
struct UpkeepState {
  bool interactive = false;
  bool starter = false;
  bool attachments_migrated = false;
};

// Seeds (starter content when interactive or starter, demonstration content otherwise, each
// only into an unseeded document), upserts the local user as online when interactive, then
// migrates attachments once per state.
void run_upkeep(crdt::Document& doc, UpkeepState& state, const LocalUser& local);

// Rewrites attachments whose "path" is "zarn-blob://<id>" to "blob" = <id> without "path".
// Returns how many were rewritten.
std::size_t migrate_attachments(crdt::Document& doc);

// Keys under "drafts": the channel's composer, and a thread's reply composer.
std::string draft_key(std::string_view channel);
std::string thread_draft_key(std::string_view channel, std::string_view root_id);

// The draft text under `key`, empty when there is none.
std::string read_draft(const crdt::Document& doc, std::string_view key);
// Makes the draft read `content`, splicing only what differs. Clearing a draft that does not
// exist creates nothing. Fails (writing nothing) when `content` is not valid UTF-8.
zarn::Result<void> set_draft(crdt::Document& doc, std::string_view key, std::string_view content);
zarn::Result<void> clear_draft(crdt::Document& doc, std::string_view key);

}  // namespace chat::document
