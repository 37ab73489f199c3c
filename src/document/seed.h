// Seed content: the starter set (one workspace for the local user) and the demonstration set
// (three workspaces, six people, a running call and a conversation). Each writer starts by
// marking the document seeded and writes nothing into a document already seeded. UI thread.
#pragma once

#include <cstdint>

#include "document/upkeep.h"
#include "platform/crdt/document.h"

namespace chat::document {

// Base time of the demonstration conversation: 2026-06-26 11:04:00 UTC.
inline constexpr std::int64_t kDemoBaseTime = 1782471840;

void write_starter_content(crdt::Document& doc, const LocalUser& local);
void write_demo_content(crdt::Document& doc);

}  // namespace chat::document
