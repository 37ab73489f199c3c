#include <gtest/gtest.h>

#include <string>

#include "platform/zarn_actions/action_address.h"
#include "platform/zarn_actions/bound_dispatch.h"
#include "platform/zarn_actions/context.h"
#include "platform/zarn_actions/executor.h"
#include "platform/zarn_actions/resource.h"

namespace zarn_actions {
namespace {

TEST(HumanizeIdentifier, TurnsIdentifiersIntoWords) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"SendMessage", "Send message"},
      {"SetCategoryCollapsed", "Set category collapsed"},
      {"send_message", "Send message"},
      {"send-message", "Send message"},
      {"sendMessage", "Send message"},
      {"HTTPServer", "HTTP server"},
      {"OpenURL", "Open URL"},
      {"Part2Thing", "Part2 thing"},
      {"__lead__trail__", "Lead trail"},
      {"X", "X"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(context::humanize_identifier(c.in), c.out);
  }
}

TEST(ActionAddressTest, EncodesAndDecodes) {
  const ActionAddress plain{"chat.channel:c_1", "open"};
  EXPECT_EQ(plain.encode(), "chat.channel:c_1#open");
  EXPECT_EQ(ActionAddress::decode(plain.encode()), plain);
  // A resource id holding '#' still splits at the action id.
  const ActionAddress hashy{"chat.reaction:m_1:#️⃣", "remove"};
  EXPECT_EQ(ActionAddress::decode(hashy.encode()), hashy);
  for (const char* bad : {"", "no-separator", "#open", "chat.people#"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ActionAddress::decode(bad).has_value());
  }
}

TEST(ResourceTest, BuildersEncodersAndOperationTypes) {
  int calls = 0;
  Resource tree =
      Resource{"chat.channel:c", "chat.channel", "# c", {}, {}}
          .with_action(ActionSpec::operation("open", "Open conversation", {"chat.operation", "{}"},
                                             OperationType::View))
          .with_action(ActionSpec::with_encoder(
              "rename", "Rename channel", TextParameter{"Name", "channel name…"},
              [&calls](const ActionArgs& args) -> zarn::Result<EncodedAction> {
                ++calls;
                return EncodedAction{"chat.action", "[" + args.text() + "]"};
              }))
          .with_action(
              ActionSpec::with_encoded("delete", "Delete", {"chat.action", "{}"}).destructive())
          .with_child(Resource{"chat.call:c", "chat.call", "Call: # c", {}, {}});

  ASSERT_EQ(tree.actions.size(), 3u);
  EXPECT_EQ(tree.actions[0].operation_type, OperationType::View);
  EXPECT_TRUE(tree.actions[2].is_destructive);
  EXPECT_FALSE(tree.actions[1].is_destructive);
  ASSERT_NE(tree.find_action("rename"), nullptr);
  EXPECT_EQ(tree.find_action("rename")->parameter->label, "Name");
  EXPECT_EQ(tree.find_action("missing"), nullptr);

  auto absent = tree.find_action("rename")->encode(ActionArgs{});
  ASSERT_TRUE(absent.has_value());
  EXPECT_EQ(absent->json, "[]") << "an absent value reads as empty";
  auto given = tree.find_action("rename")->encode(ActionArgs{}.set("value", " x "));
  ASSERT_TRUE(given.has_value());
  EXPECT_EQ(given->json, "[ x ]");
  EXPECT_EQ(calls, 2);

  int visited = 0;
  tree.for_each([&](const Resource&) { ++visited; });
  EXPECT_EQ(visited, 2);

  const EncodedAction plain{"chat.operation", "{}"};
  EXPECT_FALSE(plain.required_operation_type.has_value());
  const EncodedAction forced = resource::enforce_operation_type(plain, OperationType::Effect);
  EXPECT_EQ(forced.required_operation_type, OperationType::Effect);
  EXPECT_EQ(forced.json, plain.json);
  EXPECT_EQ(forced.type_name, plain.type_name);
}

// Writes one key per distinct value; "noop" writes nothing.
class PutAction : public TypedAction {
 public:
  explicit PutAction(std::string value) : value_(std::move(value)) {}
  std::string debug_text() const override { return "put " + value_; }
  void apply(crdt::Document& doc) const override {
    if (value_ == "noop") return;
    auto stored = doc.get(crdt::ObjId::root(), "k");
    if (stored && stored->as_str() && *stored->as_str() == value_) return;
    (void)doc.put(crdt::ObjId::root(), "k", value_);
    (void)doc.put(crdt::ObjId::root(), "k2", value_);
  }

 private:
  std::string value_;
};

ActionRegistry test_registry() {
  ActionRegistry registry;
  registry.insert(
      "test.put", [](std::string_view json) -> zarn::Result<std::unique_ptr<TypedAction>> {
        if (json.empty() || json.front() != '"') return zarn::make_error("expected a quoted value");
        return std::unique_ptr<TypedAction>(std::make_unique<PutAction>(std::string(json)));
      });
  return registry;
}

TEST(Executor, OneChangePerActionNoneForNoOps) {
  ActionRegistry registry = test_registry();
  LocalTransport transport;
  crdt::Document doc;
  const auto actor = doc.actor_bytes();

  auto first =
      executor::dispatch_by(registry, doc, PutAction("a"), {"test.put", "\"a\""}, transport, actor);
  ASSERT_TRUE(first.has_value()) << first.error().display_text();
  EXPECT_TRUE(first.value().change.has_value());
  EXPECT_EQ(doc.change_count(), 1u);
  EXPECT_EQ(transport.queued(), 1u);

  auto same =
      executor::dispatch_by(registry, doc, PutAction("a"), {"test.put", "\"a\""}, transport, actor);
  ASSERT_TRUE(same.has_value());
  EXPECT_FALSE(same.value().change.has_value());
  EXPECT_EQ(doc.change_count(), 1u);
  EXPECT_EQ(transport.queued(), 1u);

  // Writes made outside any action are sealed apart, so the action's change is its own.
  (void)doc.put(crdt::ObjId::root(), "draft", "typing");
  ActionContext ctx{"app.id", "App", "Put", "Put value", ActionTarget{"k:1", "1"}, std::nullopt};
  auto third = executor::dispatch_by_with_context(registry, doc, PutAction("b"),
                                                  {"test.put", "\"b\""}, transport, actor, ctx);
  ASSERT_TRUE(third.has_value());
  EXPECT_EQ(doc.change_count(), 3u);
  const auto changes = doc.changes();
  EXPECT_EQ(changes.back().message, ctx.to_json_text());
  EXPECT_EQ(changes.back().op_count, 2u);
  EXPECT_EQ(changes.back().hash, *third.value().change);
}

TEST(Executor, RefusalsLeaveTheDocumentAlone) {
  ActionRegistry registry = test_registry();
  LocalTransport transport;
  crdt::Document doc;
  (void)doc.put(crdt::ObjId::root(), "seed", true);
  doc.commit();
  const auto heads = doc.heads();

  struct Case {
    const char* what;
    EncodedAction encoded;
    crdt::Bytes actor;
    ActionErrorKind kind;
    const char* text_part;
  };
  const Case cases[] = {
      {"unknown kind",
       {"other.kind", "\"a\""},
       doc.actor_bytes(),
       ActionErrorKind::UnknownType,
       "other.kind"},
      {"undecodable",
       {"test.put", "a"},
       doc.actor_bytes(),
       ActionErrorKind::Decode,
       "expected a quoted value"},
      {"foreign actor",
       {"test.put", "\"a\""},
       crdt::Bytes(16, 7),
       ActionErrorKind::InvalidActor,
       "actor"},
      {"short actor",
       {"test.put", "\"a\""},
       crdt::Bytes{1, 2},
       ActionErrorKind::InvalidActor,
       "actor"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto r = executor::dispatch_by(registry, doc, PutAction("a"), c.encoded, transport, c.actor);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, c.kind);
    EXPECT_EQ(r.error().type_name, c.encoded.type_name);
    EXPECT_NE(r.error().display_text().find(c.text_part), std::string::npos)
        << r.error().display_text();
    EXPECT_EQ(doc.heads(), heads);
    EXPECT_EQ(doc.pending_ops(), 0u);
  }
  EXPECT_EQ(transport.queued(), 0u);
}

TEST(LocalTransportTest, BoundedQueueDropsTheOldest) {
  LocalTransport transport(2);
  EXPECT_FALSE(transport.replicate(Replication{}).has_value()) << "nothing to replicate";
  for (int i = 0; i < 3; ++i) {
    Replication r;
    r.action = {"k", std::to_string(i)};
    r.changes = {1};
    ASSERT_TRUE(transport.replicate(std::move(r)).has_value());
  }
  EXPECT_EQ(transport.dropped(), 1u);
  EXPECT_EQ(transport.replicated(), 3u);
  auto out = transport.drain();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].action.json, "1");
  EXPECT_EQ(out[1].action.json, "2");
  EXPECT_EQ(transport.queued(), 0u);
}

TEST(BoundDispatch, ReportsTheChangesBetweenHeads) {
  crdt::Document doc;
  (void)doc.put(crdt::ObjId::root(), "a", 1);
  doc.commit();
  EXPECT_FALSE(bound_dispatch::typed_action_before(doc, {"", "x"}).has_value());
  EXPECT_FALSE(bound_dispatch::typed_action_before(
                   doc, resource::enforce_operation_type({"op", "x"}, OperationType::View))
                   .has_value());
  auto before = bound_dispatch::typed_action_before(doc, {"test.put", "\"x\""});
  ASSERT_TRUE(before.has_value());
  EXPECT_EQ(*before, doc.heads());

  (void)doc.put(crdt::ObjId::root(), "b", 2);
  doc.commit("one");
  (void)doc.put(crdt::ObjId::root(), "c", 3);
  doc.commit("two");
  const auto report = bound_dispatch::report_typed_action(doc, *before, doc.heads());
  ASSERT_EQ(report.changes.size(), 2u);
  EXPECT_EQ(report.changes[0].message, "one");
  EXPECT_EQ(report.changes[1].message, "two");
  EXPECT_TRUE(bound_dispatch::report_typed_action(doc, doc.heads(), doc.heads()).changes.empty());
}

TEST(ActionContextTest, EnrichedByAddsTheActor) {
  ActionContext ctx{"a.b", "App", "Do", "Do it", std::nullopt, std::nullopt};
  const auto enriched = ctx.enriched_by(ActorIdentity{"u_1", "Ann"});
  EXPECT_EQ(enriched.actor, (ActorIdentity{"u_1", "Ann"}));
  EXPECT_EQ(enriched.label, ctx.label);
  EXPECT_EQ(
      ctx.to_json_text(),
      R"({"app_id":"a.b","app_name":"App","action_name":"Do","label":"Do it","target":null,"actor":null})");
}

TEST(ActionErrorTest, DisplayTextNamesTheKindAndMessage) {
  const ActionError e{ActionErrorKind::Decode, "chat.action", "ChatAction: unknown variant \"X\""};
  EXPECT_EQ(e.display_text(),
            "could not decode \"chat.action\" action: ChatAction: unknown variant \"X\"");
}

}  // namespace
}  // namespace zarn_actions
