#include "document/agent_work_store.h"

#include <gtest/gtest.h>

#include "document/access.h"
#include "document/dump.h"

namespace chat::document {
namespace {

using crdt::ObjId;

AgentStep step(std::string id, std::uint64_t seq, std::string label = "label",
               AgentStepOutcome outcome = {AgentStepOutcome::Applied{}}) {
  return AgentStep{std::move(id), seq, "res", std::move(label), std::move(outcome)};
}

AgentWork work_with(std::vector<AgentStep> trace) {
  AgentWork w;
  w.state.value = AgentWorkState::Doing{"did", "about"};
  w.since = 10;
  w.trace = std::move(trace);
  return w;
}

class AgentWorkStoreTest : public testing::Test {
 protected:
  AgentWorkStoreTest() : msg_(ensure_map(doc_, ObjId::root(), "msg")) {}

  std::optional<AgentWork> read() const { return read_agent_work(doc_, msg_); }
  Json stored() const { return dump_object(doc_, *get_map(doc_, msg_, "work")); }
  ObjId work_map() { return ensure_map(doc_, msg_, "work"); }

  crdt::Document doc_;
  ObjId msg_;
};

TEST_F(AgentWorkStoreTest, WritesTheCurrentLayout) {
  AgentWork w = work_with({step("s1", 3, "Post", {AgentStepOutcome::Refused{"no"}})});
  w.reasoning = AgentReasoning{AgentRoute::Model, "why not"};
  write_agent_work(doc_, msg_, w);
  const Json expected = {
      {"reasoning", R"({"route":"model","why":"why not"})"},
      {"trace",
       {{"s1",
         {{"label", "Post"},
          {"outcome", R"({"outcome":"refused","why":"no"})"},
          {"present", true},
          {"resource", "res"},
          {"sequence", 3}}}}},
      {"transition", R"({"state":{"state":"doing","did":"did","about":"about"},"since":10})"},
  };
  EXPECT_EQ(stored(), expected);
  EXPECT_EQ(read(), w);
}

TEST_F(AgentWorkStoreTest, NoReasoningAndEmptyTraceAreStoredExplicitly) {
  AgentWork w;
  write_agent_work(doc_, msg_, w);
  EXPECT_EQ(stored()["reasoning"], "null");
  EXPECT_EQ(stored()["trace"], Json::object());
  EXPECT_EQ(read(), w);
}

TEST_F(AgentWorkStoreTest, MessageWithoutWorkHasNone) {
  EXPECT_EQ(read(), std::nullopt);
  put_str(doc_, work_map(), "transition", "not json");
  EXPECT_EQ(read(), std::nullopt);  // and no older state map to fall back on
}

TEST_F(AgentWorkStoreTest, StepsThatCannotBeKeptReadBackMissing) {
  struct Case {
    const char* name;
    AgentStep step;
  };
  const Case cases[] = {
      {"empty id", step("", 1)},
      {"eight digit id", step("20240101", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    crdt::Document doc;
    const ObjId msg = ensure_map(doc, ObjId::root(), "msg");
    write_agent_work(doc, msg, work_with({c.step, step("kept", 5)}));
    const auto back = read_agent_work(doc, msg);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->trace, std::vector<AgentStep>{step("kept", 5)});
  }
}

TEST_F(AgentWorkStoreTest, SequenceAboveSignedRangeReadsAsZero) {
  write_agent_work(doc_, msg_, work_with({step("big", (std::uint64_t{1} << 63) + 5)}));
  EXPECT_EQ(read()->trace.at(0).sequence, 0u);
}

TEST_F(AgentWorkStoreTest, TraceReadsSortedBySequenceThenId) {
  write_agent_work(doc_, msg_, work_with({step("z", 2), step("b", 1), step("a", 2), step("c", 0)}));
  const auto back = read();
  ASSERT_TRUE(back);
  std::vector<std::string> ids;
  for (const AgentStep& s : back->trace) ids.push_back(s.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"c", "b", "a", "z"}));
}

TEST_F(AgentWorkStoreTest, LaterWritesChangeOnlyOutcomeAndKeepMissingSteps) {
  write_agent_work(doc_, msg_, work_with({step("s", 1, "first"), step("other", 2)}));
  write_agent_work(
      doc_, msg_,
      work_with({AgentStep{"s", 9, "elsewhere", "second", {AgentStepOutcome::Asked{}}}}));
  const auto back = read();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->trace,
            (std::vector<AgentStep>{AgentStep{"s", 1, "res", "first", {AgentStepOutcome::Asked{}}},
                                    step("other", 2)}));
}

TEST_F(AgentWorkStoreTest, RepeatingTheSameWorkWritesNothing) {
  AgentWork w = work_with({step("s", 1), step("12345678", 2), step("", 3)});
  w.reasoning = AgentReasoning{AgentRoute::Floor, ""};
  write_agent_work(doc_, msg_, w);
  doc_.commit();
  write_agent_work(doc_, msg_, w);
  EXPECT_EQ(doc_.pending_ops(), 0u);

  w.since = 11;
  write_agent_work(doc_, msg_, w);
  EXPECT_EQ(doc_.pending_ops(), 1u);  // the transition alone
}

TEST_F(AgentWorkStoreTest, OlderLayoutIsReadAndLeftInPlaceByTheNextWrite) {
  const ObjId w = work_map();
  const ObjId state = ensure_map(doc_, w, "state");
  put_str(doc_, state, "kind", "doing");
  put_str(doc_, state, "did", "indexed");
  put_str(doc_, state, "about", "files");
  put_int(doc_, w, "since", 42);
  const ObjId reasoning = ensure_map(doc_, w, "reasoning");
  put_bool(doc_, reasoning, "present", true);
  put_str(doc_, reasoning, "route", "floor");
  const ObjId trace = ensure_map(doc_, w, "trace");
  struct Legacy {
    const char* key;
    const char* outcome;
    std::int64_t sequence;
  };
  for (const Legacy& l : {Legacy{"00000002", "refused", 2}, Legacy{"00000001", "no_change", 1},
                          Legacy{"00000003", "exploded", 3}}) {
    const ObjId s = ensure_map(doc_, trace, l.key);
    put_bool(doc_, s, "present", true);
    put_int(doc_, s, "sequence", l.sequence);
    put_str(doc_, s, "resource", "r");
    put_str(doc_, s, "label", "l");
    put_str(doc_, s, "outcome", l.outcome);
  }
  put_str(doc_, ensure_map(doc_, trace, "00000002"), "why", "denied");

  AgentWork expected;
  expected.state.value = AgentWorkState::Doing{"indexed", "files"};
  expected.since = 42;
  expected.reasoning = AgentReasoning{AgentRoute::Floor, ""};
  expected.trace = {
      AgentStep{"legacy_step_00000001", 1, "r", "l", {AgentStepOutcome::NoChange{}}},
      AgentStep{"legacy_step_00000002", 2, "r", "l", {AgentStepOutcome::Refused{"denied"}}}};
  EXPECT_EQ(read(), expected);

  AgentWork next;
  next.state.value = AgentWorkState::Done{"indexed"};
  next.since = 50;
  next.reasoning = expected.reasoning;
  write_agent_work(doc_, msg_, next);
  const Json after = stored();
  EXPECT_TRUE(after.contains("transition"));
  EXPECT_EQ(after["state"]["kind"], "doing");
  EXPECT_EQ(after["since"], 42);
  EXPECT_TRUE(after["reasoning"].is_object()) << "equal reasoning is not rewritten";
  for (const char* key : {"00000001", "00000002", "00000003"}) {
    EXPECT_EQ(after["trace"][key]["present"], false) << key;
  }
  next.trace.clear();
  EXPECT_EQ(read(), next);

  // The transition now decides even when the old state map changes.
  put_str(doc_, state, "kind", "taken");
  EXPECT_EQ(read()->state, next.state);
}

TEST_F(AgentWorkStoreTest, TolerantTraceReading) {
  write_agent_work(doc_, msg_, work_with({step("ok", 1)}));
  const ObjId trace = *get_map(doc_, work_map(), "trace");
  auto entry = [&](const char* key) { return ensure_map(doc_, trace, key); };
  put_bool(doc_, entry("hidden"), "present", false);
  put_str(doc_, entry("hidden"), "outcome", "asked");
  put_bool(doc_, entry("no_outcome"), "present", true);
  put_bool(doc_, entry("plain"), "present", true);
  put_str(doc_, entry("plain"), "outcome", "asked");
  put_int(doc_, entry("plain"), "sequence", -4);
  put_str(doc_, trace, "scalar", "not a map");

  const auto back = read();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->trace,
            (std::vector<AgentStep>{AgentStep{"plain", 0, "", "", {AgentStepOutcome::Asked{}}},
                                    step("ok", 1)}));
}

TEST_F(AgentWorkStoreTest, OlderReasoningNeedsPresentAndAKnownRoute) {
  struct Case {
    const char* name;
    bool present;
    const char* route;
    std::optional<AgentReasoning> expected;
  };
  const Case cases[] = {
      {"present model", true, "model", AgentReasoning{AgentRoute::Model, "w"}},
      {"not present", false, "model", std::nullopt},
      {"unknown route", true, "Model", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    crdt::Document doc;
    const ObjId msg = ensure_map(doc, ObjId::root(), "msg");
    const ObjId w = ensure_map(doc, msg, "work");
    put_str(doc, w, "transition", R"({"state":{"state":"taken"},"since":1})");
    const ObjId r = ensure_map(doc, w, "reasoning");
    put_bool(doc, r, "present", c.present);
    put_str(doc, r, "route", c.route);
    put_str(doc, r, "why", "w");
    EXPECT_EQ(read_agent_work(doc, msg)->reasoning, c.expected);
  }
}

}  // namespace
}  // namespace chat::document
