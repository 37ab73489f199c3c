#include "document/agent_work_json.h"

#include <utility>

// Binds the value of a Result expression to `lhs`, or returns its error.
#define DOC_CONCAT_INNER(a, b) a##b
#define DOC_CONCAT(a, b) DOC_CONCAT_INNER(a, b)
#define DOC_TRY_ASSIGN(lhs, expr) DOC_TRY_ASSIGN_IMPL(DOC_CONCAT(doc_try_, __LINE__), lhs, expr)
#define DOC_TRY_ASSIGN_IMPL(tmp, lhs, expr)                 \
  auto tmp = (expr);                                        \
  if (!tmp.has_value()) return std::move(tmp).take_error(); \
  lhs = std::move(*tmp)

namespace chat::document {

namespace {

std::string context_or(std::string_view context, std::string_view type_name) {
  return std::string(context.empty() ? type_name : context);
}

std::string in_quotes(std::string_view s) {
  std::string out = "\"";
  out += s;
  out += '"';
  return out;
}

}  // namespace

Json to_json(const AgentWorkState& state) {
  Json j = Json::object();
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, AgentWorkState::Taken>) {
          j["state"] = "taken";
        } else if constexpr (std::is_same_v<T, AgentWorkState::Waiting>) {
          j["state"] = "waiting";
          j["app"] = v.app;
        } else if constexpr (std::is_same_v<T, AgentWorkState::Doing>) {
          j["state"] = "doing";
          j["did"] = v.did;
          j["about"] = v.about;
        } else if constexpr (std::is_same_v<T, AgentWorkState::Done>) {
          j["state"] = "done";
          j["did"] = v.did;
        } else {
          j["state"] = "refused";
        }
      },
      state.value);
  return j;
}

Json to_json(AgentRoute route) {
  return route == AgentRoute::Floor ? "floor" : "model";
}

Json to_json(const AgentReasoning& reasoning) {
  Json j = Json::object();
  j["route"] = to_json(reasoning.route);
  j["why"] = reasoning.why;
  return j;
}

Json to_json(const AgentStepOutcome& outcome) {
  Json j = Json::object();
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, AgentStepOutcome::Asked>) {
          j["outcome"] = "asked";
        } else if constexpr (std::is_same_v<T, AgentStepOutcome::Applied>) {
          j["outcome"] = "applied";
        } else if constexpr (std::is_same_v<T, AgentStepOutcome::NoChange>) {
          j["outcome"] = "no_change";
        } else {
          j["outcome"] = "refused";
          j["why"] = v.why;
        }
      },
      outcome.value);
  return j;
}

Json to_json(const AgentStep& step) {
  Json j = Json::object();
  if (!step.id.empty()) j["id"] = step.id;
  if (step.sequence != 0) j["sequence"] = step.sequence;
  j["resource"] = step.resource;
  j["label"] = step.label;
  j["outcome"] = to_json(step.outcome);
  return j;
}

Json to_json(const AgentWork& work) {
  Json j = Json::object();
  j["state"] = to_json(work.state);
  j["since"] = work.since;
  if (work.reasoning) j["reasoning"] = to_json(*work.reasoning);
  if (!work.trace.empty()) {
    Json trace = Json::array();
    for (const AgentStep& step : work.trace) trace.push_back(to_json(step));
    j["trace"] = std::move(trace);
  }
  return j;
}

Json to_json(const StoredAgentTransition& transition) {
  Json j = Json::object();
  j["state"] = to_json(transition.state);
  j["since"] = transition.since;
  return j;
}

template <>
zarn::Result<AgentWorkState> from_json<AgentWorkState>(const Json& value,
                                                       std::string_view context) {
  const std::string ctx = context_or(context, "AgentWorkState");
  ZARN_TRY(json_expect_object(value, ctx));
  std::string tag;
  DOC_TRY_ASSIGN(tag, json_string_member(value, "state", ctx));
  if (tag == "taken") return AgentWorkState{AgentWorkState::Taken{}};
  if (tag == "refused") return AgentWorkState{AgentWorkState::Refused{}};
  if (tag == "waiting") {
    AgentWorkState::Waiting w;
    DOC_TRY_ASSIGN(w.app, json_string_member(value, "app", ctx));
    return AgentWorkState{std::move(w)};
  }
  if (tag == "doing") {
    AgentWorkState::Doing d;
    DOC_TRY_ASSIGN(d.did, json_string_member(value, "did", ctx));
    DOC_TRY_ASSIGN(d.about, json_string_member(value, "about", ctx));
    return AgentWorkState{std::move(d)};
  }
  if (tag == "done") {
    AgentWorkState::Done d;
    DOC_TRY_ASSIGN(d.did, json_string_member(value, "did", ctx));
    return AgentWorkState{std::move(d)};
  }
  return json_error(json_path(ctx, "state"), "unknown state " + in_quotes(tag));
}

template <>
zarn::Result<AgentRoute> from_json<AgentRoute>(const Json& value, std::string_view context) {
  const std::string ctx = context_or(context, "AgentRoute");
  std::string route;
  DOC_TRY_ASSIGN(route, json_string(value, ctx));
  if (route == "model") return AgentRoute::Model;
  if (route == "floor") return AgentRoute::Floor;
  return json_error(ctx, "unknown route " + in_quotes(route));
}

template <>
zarn::Result<AgentReasoning> from_json<AgentReasoning>(const Json& value,
                                                       std::string_view context) {
  const std::string ctx = context_or(context, "AgentReasoning");
  ZARN_TRY(json_expect_object(value, ctx));
  AgentReasoning r;
  const Json* route = nullptr;
  DOC_TRY_ASSIGN(route, json_require(value, "route", ctx));
  DOC_TRY_ASSIGN(r.route, from_json<AgentRoute>(*route, json_path(ctx, "route")));
  if (const Json* why = json_member(value, "why")) {
    DOC_TRY_ASSIGN(r.why, json_string(*why, json_path(ctx, "why")));
  }
  return r;
}

template <>
zarn::Result<AgentStepOutcome> from_json<AgentStepOutcome>(const Json& value,
                                                           std::string_view context) {
  const std::string ctx = context_or(context, "AgentStepOutcome");
  ZARN_TRY(json_expect_object(value, ctx));
  std::string tag;
  DOC_TRY_ASSIGN(tag, json_string_member(value, "outcome", ctx));
  if (tag == "asked") return AgentStepOutcome{AgentStepOutcome::Asked{}};
  if (tag == "applied") return AgentStepOutcome{AgentStepOutcome::Applied{}};
  if (tag == "no_change") return AgentStepOutcome{AgentStepOutcome::NoChange{}};
  if (tag == "refused") {
    AgentStepOutcome::Refused r;
    DOC_TRY_ASSIGN(r.why, json_string_member(value, "why", ctx));
    return AgentStepOutcome{std::move(r)};
  }
  return json_error(json_path(ctx, "outcome"), "unknown outcome " + in_quotes(tag));
}

template <>
zarn::Result<AgentStep> from_json<AgentStep>(const Json& value, std::string_view context) {
  const std::string ctx = context_or(context, "AgentStep");
  ZARN_TRY(json_expect_object(value, ctx));
  AgentStep step;
  if (const Json* id = json_member(value, "id")) {
    DOC_TRY_ASSIGN(step.id, json_string(*id, json_path(ctx, "id")));
  }
  if (const Json* seq = json_member(value, "sequence")) {
    DOC_TRY_ASSIGN(step.sequence, json_uint64(*seq, json_path(ctx, "sequence")));
  }
  DOC_TRY_ASSIGN(step.resource, json_string_member(value, "resource", ctx));
  DOC_TRY_ASSIGN(step.label, json_string_member(value, "label", ctx));
  const Json* outcome = nullptr;
  DOC_TRY_ASSIGN(outcome, json_require(value, "outcome", ctx));
  DOC_TRY_ASSIGN(step.outcome, from_json<AgentStepOutcome>(*outcome, json_path(ctx, "outcome")));
  return step;
}

template <>
zarn::Result<AgentWork> from_json<AgentWork>(const Json& value, std::string_view context) {
  const std::string ctx = context_or(context, "AgentWork");
  ZARN_TRY(json_expect_object(value, ctx));
  AgentWork work;
  const Json* state = nullptr;
  DOC_TRY_ASSIGN(state, json_require(value, "state", ctx));
  DOC_TRY_ASSIGN(work.state, from_json<AgentWorkState>(*state, json_path(ctx, "state")));
  DOC_TRY_ASSIGN(work.since, json_int64_member(value, "since", ctx));
  if (const Json* reasoning = json_member(value, "reasoning"); reasoning && !reasoning->is_null()) {
    DOC_TRY_ASSIGN(work.reasoning,
                   from_json<AgentReasoning>(*reasoning, json_path(ctx, "reasoning")));
  }
  if (const Json* trace = json_member(value, "trace")) {
    const std::string trace_ctx = json_path(ctx, "trace");
    if (!trace->is_array()) {
      return json_error(trace_ctx, std::string("expected an array, got ") + trace->type_name());
    }
    for (std::size_t i = 0; i < trace->size(); ++i) {
      AgentStep step;
      DOC_TRY_ASSIGN(step,
                     from_json<AgentStep>((*trace)[i], trace_ctx + "[" + std::to_string(i) + "]"));
      work.trace.push_back(std::move(step));
    }
  }
  return work;
}

template <>
zarn::Result<StoredAgentTransition> from_json<StoredAgentTransition>(const Json& value,
                                                                     std::string_view context) {
  const std::string ctx = context_or(context, "StoredAgentTransition");
  ZARN_TRY(json_expect_object(value, ctx));
  StoredAgentTransition t;
  const Json* state = nullptr;
  DOC_TRY_ASSIGN(state, json_require(value, "state", ctx));
  DOC_TRY_ASSIGN(t.state, from_json<AgentWorkState>(*state, json_path(ctx, "state")));
  DOC_TRY_ASSIGN(t.since, json_int64_member(value, "since", ctx));
  return t;
}

}  // namespace chat::document
