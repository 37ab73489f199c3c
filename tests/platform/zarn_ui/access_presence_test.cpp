#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/crdt/document.h"
#include "platform/zarn_ui/access_node.h"
#include "platform/zarn_ui/presence.h"
#include "platform/zarn_ui/theme.h"
#include "platform/zarn_ui/widget.h"

namespace zarn_ui {
namespace {

AccessNode node(std::string id, std::string label, AccessRole role, Rect rect,
                bool selected = false) {
  AccessNode n;
  n.id = std::move(id);
  n.label = std::move(label);
  n.role = role;
  n.rect = rect;
  n.selected = selected;
  return n;
}

AccessNode sample_tree() {
  AccessNode root = node("root", "Root", AccessRole::Window, {0, 0, 100, 100});
  AccessNode list = node("list", "Items", AccessRole::List, {});  // no rect: not hittable
  list.children.push_back(node("item:1", "First", AccessRole::ListItem, {0, 0, 100, 20}, true));
  list.children.push_back(node("", "anonymous", AccessRole::Label, {0, 20, 100, 40}));
  root.children.push_back(std::move(list));
  root.children.push_back(node("send", "Send \xff", AccessRole::Button, {80, 80, 100, 100}));
  return root;
}

TEST(AccessNodeTest, RegionsAreHittableNodesInTreeOrder) {
  AccessNode root = sample_tree();
  auto regions = access_regions(root);
  ASSERT_EQ(regions.size(), 3u);
  EXPECT_EQ(regions[0].id, "root");
  EXPECT_EQ(regions[1].id, "item:1");
  EXPECT_EQ(regions[2].id, "send");
  EXPECT_EQ(root.find("item:1")->label, "First");
  EXPECT_EQ(root.find("missing"), nullptr);
}

TEST(AccessNodeTest, JsonCarriesTreeAndRegionsAndSurvivesBadText) {
  auto j = nlohmann::json::parse(access_json(sample_tree(), {100, 100}));
  EXPECT_EQ(j["frame"]["height"], 100);
  EXPECT_EQ(j["tree"]["role"], "window");
  EXPECT_EQ(j["tree"]["children"][0]["children"][0]["selected"], true);
  EXPECT_EQ(j["tree"]["children"][0]["children"][0]["rect"]["y1"], 20);
  ASSERT_EQ(j["regions"].size(), 3u);
  EXPECT_EQ(j["regions"][2]["role"], "button");
  EXPECT_EQ(j["regions"][2]["label"], "Send \xEF\xBF\xBD");
}

TEST(PresenceTest, ColoursAreStableHashesUnlessTheHostAssignsOne) {
  // Published FNV-1a 64 test vectors.
  EXPECT_EQ(presence::fnv1a64(""), 0xcbf29ce484222325ULL);
  EXPECT_EQ(presence::fnv1a64("a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(presence::fnv1a64("foobar"), 0x85944171f73967e8ULL);

  Theme theme = Theme::dark();
  EXPECT_EQ(presence::user_color_index("a"), 0xaf63dc4c8601ec8cULL % 8);
  EXPECT_EQ(presence::user_color("a", theme), theme.person_color(0xaf63dc4c8601ec8cULL % 8));

  PresenceCtx ctx;
  ctx.roster.push_back({"a", "Ann", PresenceState::Idle, 11});
  EXPECT_EQ(ctx.color_for("a", theme), theme.person_color(3));
  EXPECT_EQ(ctx.color_for("b", theme), presence::user_color("b", theme));
  EXPECT_EQ(ctx.state_of("a"), PresenceState::Idle);
  EXPECT_EQ(ctx.state_of("b"), PresenceState::Offline);
}

TEST(PresenceTest, PermissionsDefaultToPermissive) {
  struct Case {
    PermissionContext ctx;
    bool read;
    bool write;
  };
  const Case cases[] = {{PermissionContext{}, true, true},
                        {PermissionContext::read_only(), true, false},
                        {PermissionContext::none(), false, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.ctx.can_read(), c.read);
    EXPECT_EQ(c.ctx.allows(Permission::Write), c.write);
  }
  EXPECT_TRUE(PresenceCtx{}.permissions.can_write());
}

TEST(WidgetDefaultsTest, DefaultsAreHarmless) {
  Widget w;
  BasicHost host;
  FrameCtx ctx(host);
  Size s = w.build_layout({{10, 10}, {200, INFINITY}}, ctx);
  EXPECT_EQ(s, (Size{200, 10}));
  w.apply_layout({1, 2, 3, 4}, ctx);
  EXPECT_EQ(w.bounds(), (Rect{1, 2, 3, 4}));
  EXPECT_EQ(w.accessibility().rect, (Rect{1, 2, 3, 4}));
  EXPECT_FALSE(w.perform_operation({"x.op", "{}"}, ctx).has_value());
  EXPECT_EQ(w.floating_surface_opacity(), 255);
  EXPECT_FALSE(w.take_pending_dispatch().has_value());
  EXPECT_FALSE(w.resource("x:1").has_value());
  EventCtx ev(host);
  w.handle_event(KeyEvent{}, ev);
  EXPECT_FALSE(ev.handled());
}

TEST(WidgetDefaultsTest, EncodedActionsNeedAKnownKindAndAGoodDecode) {
  struct Counting : zarn_actions::TypedAction {
    int* applied;
    explicit Counting(int* a) : applied(a) {}
    std::string debug_text() const override { return "counting"; }
    void apply(crdt::Document&) const override { ++*applied; }
  };
  int applied = 0;
  zarn_actions::ActionRegistry registry;
  registry.insert(
      "demo.kind",
      [&](std::string_view json) -> zarn::Result<std::unique_ptr<zarn_actions::TypedAction>> {
        if (json != "{}") return zarn::make_error("bad json: " + std::string(json));
        return std::unique_ptr<zarn_actions::TypedAction>(std::make_unique<Counting>(&applied));
      });
  crdt::Document doc;
  auto unknown = apply_encoded_action(registry, doc, {"other.kind", "{}"});
  ASSERT_FALSE(unknown.has_value());
  EXPECT_NE(unknown.error().find("other.kind"), std::string::npos);
  auto bad = apply_encoded_action(registry, doc, {"demo.kind", "[1"});
  ASSERT_FALSE(bad.has_value());
  EXPECT_NE(bad.error().find("bad json: [1"), std::string::npos);
  EXPECT_EQ(applied, 0);
  EXPECT_TRUE(apply_encoded_action(registry, doc, {"demo.kind", "{}"}).has_value());
  EXPECT_EQ(applied, 1);

  // The test host records every dispatch and applies it when given a registry and document.
  BasicHost host;
  host.registry = &registry;
  host.doc = &doc;
  EXPECT_TRUE(host.dispatch({"demo.kind", "{}"}).has_value());
  EXPECT_FALSE(host.dispatch({"demo.kind", "x"}).has_value());
  EXPECT_EQ(applied, 2);
  EXPECT_EQ(host.dispatched.size(), 2u);
}

}  // namespace
}  // namespace zarn_ui
