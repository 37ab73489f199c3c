#include "document/agent_work_store.h"

#include <algorithm>
#include <map>
#include <string>

#include "document/access.h"
#include "document/agent_work_json.h"

namespace chat::document {

namespace {

using crdt::Document;
using crdt::ObjId;

constexpr std::string_view kLegacyStepPrefix = "legacy_step_";

std::optional<AgentWorkState> legacy_state(const Document& doc, const ObjId& state_map) {
  const std::string kind = str_or_empty(doc, state_map, "kind");
  if (kind == "taken") return AgentWorkState{AgentWorkState::Taken{}};
  if (kind == "waiting") {
    return AgentWorkState{AgentWorkState::Waiting{str_or_empty(doc, state_map, "app")}};
  }
  if (kind == "doing") {
    return AgentWorkState{AgentWorkState::Doing{str_or_empty(doc, state_map, "did"),
                                                str_or_empty(doc, state_map, "about")}};
  }
  if (kind == "done") {
    return AgentWorkState{AgentWorkState::Done{str_or_empty(doc, state_map, "did")}};
  }
  if (kind == "refused") return AgentWorkState{AgentWorkState::Refused{}};
  return std::nullopt;
}

std::optional<AgentReasoning> read_reasoning(const Document& doc, const ObjId& work) {
  if (auto legacy = get_map(doc, work, "reasoning")) {
    if (!bool_or_false(doc, *legacy, "present")) return std::nullopt;
    const std::string route = str_or_empty(doc, *legacy, "route");
    AgentReasoning r;
    if (route == "model") {
      r.route = AgentRoute::Model;
    } else if (route == "floor") {
      r.route = AgentRoute::Floor;
    } else {
      return std::nullopt;
    }
    r.why = str_or_empty(doc, *legacy, "why");
    return r;
  }
  auto text = read_str(doc, work, "reasoning");
  if (!text) return std::nullopt;
  auto decoded = from_json_text<AgentReasoning>(*text);
  if (!decoded) return std::nullopt;
  return std::move(*decoded);
}

std::optional<AgentStepOutcome> read_outcome(const Document& doc, const ObjId& entry) {
  auto raw = read_str(doc, entry, "outcome");
  if (!raw) return std::nullopt;
  if (auto decoded = from_json_text<AgentStepOutcome>(*raw)) return std::move(*decoded);
  if (*raw == "asked") return AgentStepOutcome{AgentStepOutcome::Asked{}};
  if (*raw == "applied") return AgentStepOutcome{AgentStepOutcome::Applied{}};
  if (*raw == "no_change") return AgentStepOutcome{AgentStepOutcome::NoChange{}};
  if (*raw == "refused") {
    return AgentStepOutcome{AgentStepOutcome::Refused{str_or_empty(doc, entry, "why")}};
  }
  return std::nullopt;
}

std::vector<AgentStep> read_trace(const Document& doc, const ObjId& work) {
  std::vector<AgentStep> steps;
  auto trace = get_map(doc, work, "trace");
  if (!trace) return steps;
  for (const std::string& key : doc.keys(*trace)) {
    auto entry = get_map(doc, *trace, key);
    if (!entry || !bool_or_false(doc, *entry, "present")) continue;
    auto outcome = read_outcome(doc, *entry);
    if (!outcome) continue;
    AgentStep step;
    step.id = is_legacy_step_key(key) ? std::string(kLegacyStepPrefix) + key : key;
    const std::int64_t sequence = int_or_zero(doc, *entry, "sequence");
    step.sequence = sequence < 0 ? 0 : static_cast<std::uint64_t>(sequence);
    step.resource = str_or_empty(doc, *entry, "resource");
    step.label = str_or_empty(doc, *entry, "label");
    step.outcome = std::move(*outcome);
    steps.push_back(std::move(step));
  }
  std::stable_sort(steps.begin(), steps.end(), [](const AgentStep& a, const AgentStep& b) {
    if (a.sequence != b.sequence) return a.sequence < b.sequence;
    return a.id < b.id;
  });
  return steps;
}

template <typename T>
void put_json_if_differs(Document& doc, const ObjId& map, std::string_view key, const T& value) {
  // A value that cannot be serialised skips this one put.
  if (auto text = to_json_text(value)) put_str_if_differs(doc, map, key, *text);
}

}  // namespace

bool is_legacy_step_key(std::string_view key) {
  return key.size() == 8 &&
         std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void write_agent_work(crdt::Document& doc, const crdt::ObjId& msg, const AgentWork& work) {
  std::optional<AgentWork> stored;
  if (get_map(doc, msg, "work")) stored = read_agent_work(doc, msg);
  const ObjId w = ensure_map(doc, msg, "work");

  if (!(stored && stored->state == work.state && stored->since == work.since)) {
    put_json_if_differs(doc, w, "transition", StoredAgentTransition{work.state, work.since});
  }
  if (!(stored && stored->reasoning == work.reasoning)) {
    if (work.reasoning) {
      put_json_if_differs(doc, w, "reasoning", *work.reasoning);
    } else {
      put_str_if_differs(doc, w, "reasoning", "null");
    }
  }

  const ObjId trace = ensure_map(doc, w, "trace");
  std::map<std::string_view, const AgentStep*> stored_steps;
  if (stored) {
    for (const AgentStep& s : stored->trace) stored_steps.emplace(s.id, &s);
  }
  for (const AgentStep& step : work.trace) {
    if (step.id.empty()) continue;
    auto found = stored_steps.find(step.id);
    const AgentStep* old = found == stored_steps.end() ? nullptr : found->second;
    if (old && *old == step) continue;
    const EnsuredMap entry = ensure_map_noting(doc, trace, step.id);
    // Eight-digit ids are hidden below anyway; writing them hidden right away keeps a
    // repeated write from toggling "present" back and forth.
    put_bool_if_differs(doc, entry.id, "present", !is_legacy_step_key(step.id));
    if (entry.created) {
      put_int(doc, entry.id, "sequence", static_cast<std::int64_t>(step.sequence));
      put_str(doc, entry.id, "resource", step.resource);
      put_str(doc, entry.id, "label", step.label);
    }
    if (!(old && old->outcome == step.outcome)) {
      put_json_if_differs(doc, entry.id, "outcome", step.outcome);
    }
  }
  for (const std::string& key : doc.keys(trace)) {
    if (!is_legacy_step_key(key)) continue;
    if (auto entry = get_map(doc, trace, key)) put_bool_if_differs(doc, *entry, "present", false);
  }
}

std::optional<AgentWork> read_agent_work(const crdt::Document& doc, const crdt::ObjId& msg) {
  auto w = get_map(doc, msg, "work");
  if (!w) return std::nullopt;

  AgentWork work;
  bool have_state = false;
  if (auto text = read_str(doc, *w, "transition")) {
    if (auto t = from_json_text<StoredAgentTransition>(*text)) {
      work.state = std::move(t->state);
      work.since = t->since;
      have_state = true;
    }
  }
  if (!have_state) {
    auto state_map = get_map(doc, *w, "state");
    if (!state_map) return std::nullopt;
    auto state = legacy_state(doc, *state_map);
    if (!state) return std::nullopt;
    work.state = std::move(*state);
    work.since = int_or_zero(doc, *w, "since");
  }
  work.reasoning = read_reasoning(doc, *w);
  work.trace = read_trace(doc, *w);
  return work;
}

}  // namespace chat::document
