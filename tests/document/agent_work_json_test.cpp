#include "document/agent_work_json.h"

#include <gtest/gtest.h>

namespace chat::document {
namespace {

AgentStep step(std::string id, std::uint64_t seq, AgentStepOutcome outcome) {
  return AgentStep{std::move(id), seq, "res", "label", std::move(outcome)};
}

TEST(AgentWorkJsonTest, WritesCompactFieldsInOrderAndReadsThemBack) {
  struct Case {
    const char* name;
    AgentWork work;
    const char* text;
  };
  AgentWork full;
  full.state.value = AgentWorkState::Doing{"built", "the parser"};
  full.since = -3;
  full.reasoning = AgentReasoning{AgentRoute::Floor, "cheaper"};
  full.trace = {AgentStep{"s1", 2, "chat.channel:c_x", "Post", {AgentStepOutcome::Refused{"no"}}},
                AgentStep{"", 0, "r2", "l2", {AgentStepOutcome::NoChange{}}}};
  AgentWork waiting;
  waiting.state.value = AgentWorkState::Waiting{"editor"};
  waiting.since = 9;
  waiting.reasoning = AgentReasoning{AgentRoute::Model, ""};
  waiting.trace = {step("a", 1, {AgentStepOutcome::Asked{}}),
                   step("b", 18446744073709551615u, {AgentStepOutcome::Applied{}})};
  AgentWork done;
  done.state.value = AgentWorkState::Done{"shipped"};
  AgentWork refused;
  refused.state.value = AgentWorkState::Refused{};

  const Case cases[] = {
      {"taken, nothing optional", AgentWork{}, R"({"state":{"state":"taken"},"since":0})"},
      {"everything", full,
       R"({"state":{"state":"doing","did":"built","about":"the parser"},"since":-3,)"
       R"("reasoning":{"route":"floor","why":"cheaper"},"trace":[{"id":"s1","sequence":2,)"
       R"("resource":"chat.channel:c_x","label":"Post","outcome":{"outcome":"refused","why":"no"}},)"
       R"({"resource":"r2","label":"l2","outcome":{"outcome":"no_change"}}]})"},
      {"waiting", waiting,
       R"({"state":{"state":"waiting","app":"editor"},"since":9,"reasoning":{"route":"model",)"
       R"("why":""},"trace":[{"id":"a","sequence":1,"resource":"res","label":"label",)"
       R"("outcome":{"outcome":"asked"}},{"id":"b","sequence":18446744073709551615,)"
       R"("resource":"res","label":"label","outcome":{"outcome":"applied"}}]})"},
      {"done", done, R"({"state":{"state":"done","did":"shipped"},"since":0})"},
      {"refused", refused, R"({"state":{"state":"refused"},"since":0})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto text = to_json_text(c.work);
    ASSERT_TRUE(text) << text.error();
    EXPECT_EQ(*text, c.text);
    auto back = from_json_text<AgentWork>(*text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, c.work);
  }
}

TEST(AgentWorkJsonTest, TransitionNestsTheTaggedState) {
  const StoredAgentTransition t{AgentWorkState{AgentWorkState::Waiting{"x"}}, 1};
  auto text = to_json_text(t);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, R"({"state":{"state":"waiting","app":"x"},"since":1})");
  EXPECT_EQ(from_json_text<StoredAgentTransition>(*text).value(), t);
}

TEST(AgentWorkJsonTest, ReadersAcceptAnyOrderUnknownKeysAndAbsentOptionals) {
  auto work = from_json_text<AgentWork>(
      R"({"extra":[1,2],"since":4,"reasoning":null,"state":{"about":"b","did":"a",)"
      R"("state":"doing","more":true}})");
  ASSERT_TRUE(work) << work.error();
  EXPECT_EQ(work->state, (AgentWorkState{AgentWorkState::Doing{"a", "b"}}));
  EXPECT_EQ(work->since, 4);
  EXPECT_FALSE(work->reasoning);
  EXPECT_TRUE(work->trace.empty());

  auto reasoning = from_json_text<AgentReasoning>(R"({"route":"model"})");
  ASSERT_TRUE(reasoning);
  EXPECT_EQ(*reasoning, (AgentReasoning{AgentRoute::Model, ""}));

  auto s =
      from_json_text<AgentStep>(R"({"label":"l","outcome":{"outcome":"asked"},"resource":"r"})");
  ASSERT_TRUE(s);
  EXPECT_EQ(*s, (AgentStep{"", 0, "r", "l", {AgentStepOutcome::Asked{}}}));
}

TEST(AgentWorkJsonTest, RejectsMalformedValuesWithClearMessages) {
  struct Case {
    const char* text;
    const char* error;  // a part of the expected message
  };
  const Case cases[] = {
      {R"({"state":{"state":"taken"},"since":1,"since":2})", "duplicate key \"since\""},
      {R"({"state":{"state":"taken","state":"done","did":"x"},"since":1})",
       "duplicate key \"state\""},
      {R"({"state":{"state":"taken"}})", "AgentWork.since: missing required field"},
      {R"({"since":1})", "AgentWork.state: missing required field"},
      {R"({"state":{"state":"sleeping"},"since":1})", "unknown state \"sleeping\""},
      {R"({"state":{"state":"Taken"},"since":1})", "unknown state \"Taken\""},
      {R"({"state":{"did":"x"},"since":1})", "AgentWork.state.state: missing required field"},
      {R"({"state":{"state":"doing","did":"x"},"since":1})",
       "AgentWork.state.about: missing required field"},
      {R"({"state":{"state":"waiting","app":7},"since":1})",
       "AgentWork.state.app: expected a string, got an integer"},
      {R"({"state":"taken","since":1})", "AgentWork.state: expected an object, got string"},
      {R"({"state":{"state":"taken"},"since":"1"})", "AgentWork.since: expected an integer"},
      {R"({"state":{"state":"taken"},"since":1.5})", "got a fractional number"},
      {R"({"state":{"state":"taken"},"since":9223372036854775808})", "signed 64-bit range"},
      {R"({"state":{"state":"taken"},"since":1,"reasoning":{"route":"other"}})",
       "AgentWork.reasoning.route: unknown route \"other\""},
      {R"({"state":{"state":"taken"},"since":1,"reasoning":{"why":"w"}})",
       "AgentWork.reasoning.route: missing required field"},
      {R"({"state":{"state":"taken"},"since":1,"reasoning":{"route":"model","why":null}})",
       "AgentWork.reasoning.why: expected a string, got null"},
      {R"({"state":{"state":"taken"},"since":1,"trace":{}})",
       "AgentWork.trace: expected an array, got object"},
      {R"({"state":{"state":"taken"},"since":1,"trace":null})",
       "AgentWork.trace: expected an array"},
      {R"({"state":{"state":"taken"},"since":1,"trace":[{"resource":"r","outcome":{"outcome":"asked"}}]})",
       "AgentWork.trace[0].label: missing required field"},
      {R"({"state":{"state":"taken"},"since":1,"trace":[{"sequence":-1,"resource":"r","label":"l","outcome":{"outcome":"asked"}}]})",
       "AgentWork.trace[0].sequence: expected a non-negative integer"},
      {R"({"state":{"state":"taken"},"since":1,"trace":[{"id":5,"resource":"r","label":"l","outcome":{"outcome":"asked"}}]})",
       "AgentWork.trace[0].id: expected a string"},
      {R"({"state":{"state":"taken"},"since":1,"trace":[{"resource":"r","label":"l","outcome":{"outcome":"skipped"}}]})",
       "AgentWork.trace[0].outcome.outcome: unknown outcome \"skipped\""},
      {R"({"state":{"state":"taken"},"since":1,"trace":[{"resource":"r","label":"l","outcome":{"outcome":"refused"}}]})",
       "AgentWork.trace[0].outcome.why: missing required field"},
      {R"({"state":{"state":"taken"},"since":1,"trace":[{"resource":"r","label":"l","outcome":"asked"}]})",
       "AgentWork.trace[0].outcome: expected an object"},
      {R"([1])", "AgentWork: expected an object, got array"},
      {R"({"state":{"state":"taken"},"since":1)", "parse error"},
      {R"({"state":{"state":"taken"},"since":1} x)", "parse error"},
      {"", "parse error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = from_json_text<AgentWork>(c.text);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find(c.error), std::string::npos) << r.error();
  }
}

TEST(StrictJsonTest, LimitsNestingAndRefusesInvalidUtf8) {
  const std::string deep_ok = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
  EXPECT_TRUE(parse_strict_json(deep_ok));
  const std::string too_deep =
      std::string(kMaxJsonDepth + 1, '[') + std::string(kMaxJsonDepth + 1, ']');
  auto r = parse_strict_json(too_deep);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("nesting"), std::string::npos);
  // Invalid UTF-8 in input is a parse error, in output a refusal rather than an exception.
  EXPECT_FALSE(parse_strict_json("\"\xFF\""));
  AgentWork w;
  w.state.value = AgentWorkState::Done{"\xC3("};
  EXPECT_FALSE(to_json_text(w));
  // Same key in sibling objects is not a duplicate.
  EXPECT_TRUE(parse_strict_json(R"([{"a":1},{"a":2}])"));
}

}  // namespace
}  // namespace chat::document
