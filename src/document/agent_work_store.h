// Agent work inside a message map, under "work": the current layout (JSON strings for the
// transition, reasoning and step outcomes; a "trace" map of step maps keyed by step id) is
// written, the older layout is still read. Writes put only what differs, so repeating the same
// work changes nothing. UI thread (the document's owner).
#pragma once

#include <optional>
#include <string_view>

#include "document/agent_work.h"
#include "platform/crdt/document.h"

namespace chat::document {

// Step keys of exactly eight ASCII digits belong to the older layout and are hidden on write.
bool is_legacy_step_key(std::string_view key);

// Steps with an empty id are not stored; a stored step keeps its sequence, resource and label
// and later writes change only its visibility and outcome.
void write_agent_work(crdt::Document& doc, const crdt::ObjId& msg, const AgentWork& work);

// None when the message has no "work" map or no readable state. Steps come sorted by sequence,
// then id.
std::optional<AgentWork> read_agent_work(const crdt::Document& doc, const crdt::ObjId& msg);

}  // namespace chat::document
