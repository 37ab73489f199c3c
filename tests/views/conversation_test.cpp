#include "views/conversation.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "views/people.h"

namespace chat::views {
namespace {

using zarn_ui::Rect;

// A 1280×800 frame with the conversation between x 316 and 1280, a channel "general" in the
// workspace "North", and the local user u_me listed among its people.
class ConversationView : public ::testing::Test {
 protected:
  ConversationView()
      : surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1280, 800)),
        cr_(cairo_create(surface_)) {
    state.local = {"u_me", "Mira", "MI", 2};
    state.layout.bounds = {0, 0, 1280, 800};
    state.layout.scale = 1;
    state.layout.panes.conversation_left = 316;
    state.layout.panes.conversation_right = 1280;
    state.layout.panes.heading = {316, 0, 1280, 60};
    state.layout.panes.heading_content_x = 334;
    state.layout.panes.left_docked = true;

    model.workspaces.push_back({"ws_n", "North", "N", 0, 0});
    document::Channel general;
    general.id = "c_gen";
    general.workspace = "ws_n";
    general.name = "general";
    model.channels.push_back(general);
    model.current_channel = "c_gen";
    for (auto [id, name] : {std::pair{"u_me", "Mira"}, std::pair{"u_ann", "Ann"}}) {
      document::Person p;
      p.id = id;
      p.name = name;
      model.users.push_back(p);
      model.people.push_back(p);
    }
  }
  ~ConversationView() override {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }

  document::Message& add(std::string id, std::string author, std::int64_t ts,
                         std::string text = "hello there") {
    document::Message m;
    m.id = std::move(id);
    m.author = std::move(author);
    m.ts = ts;
    m.text = std::move(text);
    m.channel = "c_gen";
    model.messages.push_back(std::move(m));
    return model.messages.back();
  }
  // Many short messages alternating authors so every one starts a group.
  void add_many(int n, std::int64_t t0 = kDayReference - 3600 * 24) {
    for (int i = 0; i < n; ++i) add("m" + std::to_string(i), i % 2 ? "u_ann" : "u_me", t0 + i);
  }

  void draw() {
    regions.clear();
    zarn_ui::Painter painter(cr_, 1, text_);
    ViewFrame frame{painter, theme, model, state, regions, nullptr, {}};
    draw_conversation(frame);
    draw_edit_history_popover(frame);
  }

  std::vector<HitRegion> of(ControlKind kind, std::string_view a = {}) const {
    std::vector<HitRegion> out;
    for (const auto& r : regions) {
      if (r.id.kind == kind && (a.empty() || r.id.a == a)) out.push_back(r);
    }
    return out;
  }
  std::ptrdiff_t index_of(ControlKind kind, std::string_view a) const {
    for (std::size_t i = 0; i < regions.size(); ++i) {
      if (regions[i].id.kind == kind && regions[i].id.a == a) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
  }
  const ConversationCache& cache() const { return *state.conversation_cache; }

  zarn_ui::Theme theme = zarn_ui::Theme::dark();
  document::ReadModel model;
  ViewState state;
  std::vector<HitRegion> regions;

 private:
  cairo_surface_t* surface_;
  cairo_t* cr_;
  zarn_ui::TextRenderer text_;
};

TEST(ConversationGroups, SameAuthorWithinThreeHundredSeconds) {
  const struct {
    const char* author;
    std::int64_t dt;
    bool joins;
  } cases[] = {
      {"u_a", 0, true},   {"u_a", 300, true},  {"u_a", 301, false},
      {"u_b", 10, false}, {"u_a", -300, true}, {"u_a", -301, false},
  };
  document::Message last;
  last.author = "u_a";
  last.ts = 1000;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.dt) + " " + c.author);
    document::Message next;
    next.author = c.author;
    next.ts = last.ts + c.dt;
    EXPECT_EQ(continues_group(last, next), c.joins);
  }
}

TEST_F(ConversationView, RegionsPerRow) {
  auto& mine = add("m_mine", "u_me", kDayReference - 600, "my words");
  mine.edited = true;
  mine.history.push_back({kDayReference - 300, "old words"});
  mine.reactions.push_back({"👍", {"u_ann", "u_bob", "u_me"}});
  mine.reactions.push_back({"🎉", {"u_ann"}});
  add("m_ann", "u_ann", kDayReference - 100, "hers");
  auto& reply = add("m_reply", "u_me", kDayReference - 50, "a reply");
  reply.parent = "m_ann";
  draw();

  const Rect list = cache().list;
  EXPECT_EQ(of(ControlKind::MessageMenu).size(), 1u);
  ASSERT_EQ(of(ControlKind::MessageMenu, "m_mine").size(), 1u);
  EXPECT_TRUE(of(ControlKind::MessageMenu, "m_ann").empty());
  EXPECT_TRUE(of(ControlKind::MessageMenu, "m_reply").empty()) << "replies stay out of the list";

  const auto reactions = of(ControlKind::Reaction, "m_mine");
  ASSERT_EQ(reactions.size(), 2u);
  EXPECT_EQ(reactions[0].id.b, "👍");
  EXPECT_EQ(reactions[1].id.b, "🎉");
  EXPECT_GE(reactions[0].rect.height(), 26);
  const auto add_chip = of(ControlKind::AddReaction, "m_mine");
  ASSERT_EQ(add_chip.size(), 1u);
  EXPECT_DOUBLE_EQ(add_chip[0].rect.width(), 34);
  EXPECT_EQ(add_chip[0].id.anchor, add_chip[0].rect);
  EXPECT_GT(add_chip[0].rect.x0, reactions[1].rect.x1);
  EXPECT_TRUE(of(ControlKind::AddReaction, "m_ann").empty());

  const auto history = of(ControlKind::EditHistory, "m_mine");
  ASSERT_EQ(history.size(), 1u);
  EXPECT_DOUBLE_EQ(history[0].rect.height(), 18);
  EXPECT_EQ(history[0].id.anchor, history[0].rect);

  EXPECT_EQ(of(ControlKind::OpenThread).size(), 1u);
  EXPECT_EQ(of(ControlKind::OpenThread, "m_ann").size(), 1u);

  // The row's menu lies under its chips, and nothing of the list escapes it.
  EXPECT_LT(index_of(ControlKind::MessageMenu, "m_mine"),
            index_of(ControlKind::Reaction, "m_mine"));
  for (const auto& r : regions) {
    if (r.id.kind == ControlKind::MessageMenu || r.id.kind == ControlKind::Reaction ||
        r.id.kind == ControlKind::OpenThread || r.id.kind == ControlKind::EditHistory) {
      SCOPED_TRACE(string_id(r.id));
      EXPECT_GE(r.rect.y0, list.y0);
      EXPECT_LE(r.rect.y1, list.y1);
      EXPECT_GE(r.rect.x0, 316);
    }
  }
}

TEST_F(ConversationView, HeadingAndComposerControls) {
  add("m1", "u_ann", kDayReference);
  draw();
  for (auto kind : {ControlKind::StartCall, ControlKind::ToggleRightFlap, ControlKind::FocusMain,
                    ControlKind::Attach, ControlKind::ComposerEmoji, ControlKind::Send}) {
    SCOPED_TRACE(static_cast<int>(kind));
    EXPECT_EQ(of(kind).size(), 1u);
  }
  const Rect composer = state.layout.main_composer;
  EXPECT_DOUBLE_EQ(composer.x0, 316 + 14);
  EXPECT_DOUBLE_EQ(composer.x1, 1280 - 14);
  EXPECT_DOUBLE_EQ(composer.y1, 800 - 12);
  EXPECT_EQ(of(ControlKind::FocusMain)[0].rect, composer);
  for (auto kind : {ControlKind::Attach, ControlKind::ComposerEmoji, ControlKind::Send}) {
    const Rect r = of(kind)[0].rect;
    EXPECT_GE(r.x0, composer.x0);
    EXPECT_LE(r.x1, composer.x1);
  }
  EXPECT_DOUBLE_EQ(of(ControlKind::Send)[0].rect.width(), 44);
  EXPECT_LE(of(ControlKind::StartCall)[0].rect.y1, 60);

  // Someone who is not among the people gets neither chip.
  model.people.erase(model.people.begin());
  draw();
  EXPECT_TRUE(of(ControlKind::StartCall).empty());
  EXPECT_TRUE(of(ControlKind::ToggleRightFlap).empty());
}

TEST_F(ConversationView, ViewOnlyChannelWithoutMessages) {
  state.presence.permissions = zarn_ui::PermissionContext::read_only();
  draw();
  EXPECT_EQ(cache().day_label, "Today");
  EXPECT_TRUE(of(ControlKind::FocusMain).empty());
  EXPECT_TRUE(of(ControlKind::Send).empty());
  EXPECT_TRUE(of(ControlKind::JumpToLatest).empty());
  EXPECT_FALSE(state.layout.main_composer.empty());
  EXPECT_EQ(empty_channel_sentence("general", false), "There are no messages in #general yet.");
  EXPECT_EQ(empty_channel_sentence("general", true),
            "This is the start of #general. Write the first message to begin.");
}

TEST_F(ConversationView, DayLabelOfTheFirstMessage) {
  add("m1", "u_ann", kDayReference - 86400);
  add("m2", "u_ann", kDayReference);
  draw();
  EXPECT_EQ(cache().day_label, "Yesterday");
}

TEST(ConversationScroll, Rules) {
  const struct {
    const char* name;
    double offset;
    bool follow;
    ScrollInput in;
    double want_offset;
    bool want_follow;
  } cases[] = {
      {"half a pixel still follows", 0.5, false, {2000, 500, {}, {}}, 0.5, true},
      {"0.6 does not", 0.6, false, {2000, 500, {}, {}}, 0.6, false},
      {"growth keeps the view", 100, false, {2100, 500, 2000, {}}, 200, false},
      {"following ignores growth", 0, true, {2100, 500, 2000, {}}, 0, true},
      {"clamped to the content", 5000, false, {2000, 500, {}, {}}, 1500, false},
      {"below zero", -40, false, {2000, 500, {}, {}}, 0, true},
      {"fits: no offset", 80, false, {300, 500, {}, {}}, 0, true},
      {"reveal centres", 0, true, {2000, 500, {}, 1000}, 750, false},
      {"not a number",
       std::numeric_limits<double>::quiet_NaN(),
       false,
       {2000, 500, {}, {}},
       0,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = resolve_scroll(c.offset, c.follow, c.in);
    EXPECT_DOUBLE_EQ(r.offset, c.want_offset);
    EXPECT_EQ(r.follow, c.want_follow);
  }
  // Content that fits starts at the top; taller content ends at the list's bottom.
  EXPECT_DOUBLE_EQ(resolve_scroll(0, true, {300, 500, {}, {}}).content_top, 0);
  EXPECT_DOUBLE_EQ(resolve_scroll(0, true, {2000, 500, {}, {}}).content_top, -1500);
  const auto revealed = resolve_scroll(0, true, {2000, 500, {}, 1000});
  EXPECT_DOUBLE_EQ(revealed.content_top + 1000, 250);
}

TEST_F(ConversationView, JumpPillWhileNotFollowing) {
  add_many(80);
  draw();
  EXPECT_TRUE(state.follow_latest);
  EXPECT_TRUE(of(ControlKind::JumpToLatest).empty());

  state.follow_latest = false;
  state.scroll_offset = 300;
  draw();
  EXPECT_FALSE(state.follow_latest);
  const auto pill = of(ControlKind::JumpToLatest);
  ASSERT_EQ(pill.size(), 1u);
  EXPECT_DOUBLE_EQ(pill[0].rect.x1, 1280 - 16);
  EXPECT_DOUBLE_EQ(pill[0].rect.y1, state.layout.main_composer.y0 - 14);
  EXPECT_GE(pill[0].rect.width(), 152);
  EXPECT_DOUBLE_EQ(pill[0].rect.height(), 36);

  state.scroll_offset = 0.4;
  draw();
  EXPECT_TRUE(state.follow_latest);
  EXPECT_TRUE(of(ControlKind::JumpToLatest).empty());
}

TEST_F(ConversationView, NewMessagesDoNotMoveAScrolledBackList) {
  add_many(80);
  draw();
  state.follow_latest = false;
  state.scroll_offset = 400;
  draw();
  const auto before = of(ControlKind::MessageMenu);
  ASSERT_FALSE(before.empty());
  add("m_new", "u_me", kDayReference, "a long new message that arrives while reading");
  draw();
  const auto after = of(ControlKind::MessageMenu, before.back().id.a);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].rect, before.back().rect);
  EXPECT_FALSE(state.follow_latest);

  // While following, the newest message is what shows at the bottom.
  state.follow_latest = true;
  state.scroll_offset = 0;
  draw();
  EXPECT_EQ(of(ControlKind::MessageMenu).back().id.a, "m_new");
}

TEST_F(ConversationView, RevealCentresTheMessageOnce) {
  add_many(200);
  state.reveal_message = "m20";
  draw();
  EXPECT_FALSE(state.reveal_message);
  EXPECT_FALSE(state.follow_latest);
  const auto row = of(ControlKind::MessageMenu, "m20");
  ASSERT_EQ(row.size(), 1u);
  const Rect list = cache().list;
  EXPECT_NEAR(row[0].rect.center().y, list.center().y, 1.0);
}

TEST_F(ConversationView, HeightsAreCachedAndOnlyRowsNearTheViewShaped) {
  add_many(10000);
  draw();
  const std::size_t first_measured = cache().rows_measured;
  EXPECT_GT(cache().rows_drawn, 0u);
  EXPECT_LT(cache().rows_drawn, 40u);
  EXPECT_GE(first_measured, cache().rows_drawn);
  EXPECT_LE(first_measured, cache().rows_drawn + 40);
  EXPECT_EQ(cache().rows_estimated, 10000u - first_measured);
  EXPECT_EQ(of(ControlKind::MessageMenu).back().id.a, "m9998");

  draw();
  EXPECT_EQ(cache().rows_measured, 0u);
  EXPECT_EQ(cache().rows_estimated, 10000u - first_measured);

  // Visible rows that change are measured again; far ones fall back to an estimate.
  model.messages[9998].text = "changed";
  model.messages[9999].reactions.push_back({"👍", {"u_me"}});
  model.messages[1500].text = "changed far away";
  draw();
  EXPECT_EQ(cache().rows_measured, 2u);
  EXPECT_EQ(cache().rows_estimated, 10000u - first_measured);

  // A new wrap width measures the visible rows again and estimates the rest.
  state.layout.panes.conversation_left = 0;
  draw();
  EXPECT_LE(cache().rows_measured, cache().rows_drawn + 40);
  EXPECT_EQ(cache().rows_measured + cache().rows_estimated, 10000u);
}

TEST_F(ConversationView, ScrollingBackKeepsRowsInPlaceUntilTheOldestShows) {
  // Wide and narrow letters, so estimates from a mean glyph width miss in both directions.
  std::string wide;
  std::string narrow;
  for (int i = 0; i < 40; ++i) {
    wide += "WMWM ";
    narrow += "il.i ";
  }
  for (int i = 0; i < 600; ++i) {
    std::string text = "#" + std::to_string(i);
    if (i % 3 == 0) text += " " + wide;
    if (i % 7 == 0) text += "\n\nsecond paragraph\n" + narrow + narrow;
    if (i % 11 == 0) text = "ok";
    auto& m = add("m" + std::to_string(i), i % 5 == 4 ? "u_ann" : "u_me",
                  kDayReference - 100000 + i * (i % 4 == 0 ? 400 : 20), text);
    if (i % 6 == 0) m.reactions.push_back({"🎉", {"u_ann", "u_me", "u_bob"}});
  }
  draw();
  EXPECT_TRUE(state.follow_latest);
  const Rect list = cache().list;
  const auto fully_shown = [&] {
    std::vector<HitRegion> out;
    for (const auto& r : of(ControlKind::MessageMenu)) {
      if (r.rect.y0 > list.y0 && r.rect.y1 < list.y1) out.push_back(r);
    }
    return out;
  };

  constexpr double kStep = 250;
  int frames = 0;
  for (; frames < 2000; ++frames) {
    const auto before = fully_shown();
    const double offset = state.scroll_offset;
    state.follow_latest = false;
    state.scroll_offset += kStep;
    draw();
    const bool clamped = state.scroll_offset < offset + kStep - 0.01;
    if (!clamped) {
      for (const auto& r : before) {
        SCOPED_TRACE(r.id.a);
        const auto now = of(ControlKind::MessageMenu, r.id.a);
        if (now.empty() || now[0].rect.y1 >= list.y1) continue;
        EXPECT_NEAR(now[0].rect.y0, r.rect.y0 + kStep, 0.01);
      }
    }
    if (clamped) break;
  }
  ASSERT_LT(frames, 2000);
  const auto oldest = of(ControlKind::MessageMenu, "m0");
  ASSERT_EQ(oldest.size(), 1u);
  EXPECT_NEAR(oldest[0].rect.y0, list.y0 + 36, 0.01);
  EXPECT_NEAR(cache().content_top, 0, 0.01);

  // The way back down ends at the newest message, followed again.
  for (int i = 0; i < 2000 && !state.follow_latest; ++i) {
    state.scroll_offset -= kStep;
    draw();
  }
  EXPECT_TRUE(state.follow_latest);
  EXPECT_EQ(of(ControlKind::MessageMenu).back().id.a, "m598");
}

TEST_F(ConversationView, EditCardReplacesTheBody) {
  auto& m = add("m_mine", "u_me", kDayReference, "typo");
  m.edited = true;
  state.editing_message = "m_mine";
  state.edit_input.set_text("fixed");
  draw();
  EXPECT_TRUE(of(ControlKind::EditHistory).empty());
  const auto input = of(ControlKind::FocusEdit);
  const auto save = of(ControlKind::EditSave);
  const auto cancel = of(ControlKind::EditCancel);
  ASSERT_EQ(input.size(), 1u);
  ASSERT_EQ(save.size(), 1u);
  ASSERT_EQ(cancel.size(), 1u);
  EXPECT_DOUBLE_EQ(cancel[0].rect.width(), 62);
  EXPECT_DOUBLE_EQ(cancel[0].rect.height(), 24);
  EXPECT_LT(save[0].rect.x1, cancel[0].rect.x0);
  EXPECT_GT(save[0].rect.y0, input[0].rect.y1);
  EXPECT_EQ(state.edit_input.placeholder(), "Edit message…");
}

TEST_F(ConversationView, EditHistoryPopoverDismissesFirst) {
  auto& m = add("m_mine", "u_me", kDayReference, "now");
  m.edited = true;
  m.history = {{kDayReference - 60, "first"}, {kDayReference - 30, "second"}};
  state.history.open = true;
  state.history.message = "m_mine";
  state.history.anchor = {1200, 780, 1260, 798};
  draw();
  ASSERT_FALSE(regions.empty());
  EXPECT_EQ(regions.back().id.kind, ControlKind::Dismiss);
  EXPECT_EQ(regions.back().rect, state.layout.bounds);

  // Near the bottom-right corner it opens above its anchor and stays 8 inside.
  const Rect placed = place_popover(state.history.anchor, state.layout.bounds, 380, 200, 8);
  EXPECT_DOUBLE_EQ(placed.x1, 1280 - 8);
  EXPECT_DOUBLE_EQ(placed.y1, 780 - 6);
  const Rect tall = place_popover({10, 10, 40, 28}, state.layout.bounds, 380, 900, 8);
  EXPECT_DOUBLE_EQ(tall.x0, 10);
  EXPECT_DOUBLE_EQ(tall.y0, 8);

  state.history.message = "m_gone";
  draw();
  EXPECT_TRUE(of(ControlKind::Dismiss).empty());
}

TEST(ConversationReactions, ChipLabelAndOwnReaction) {
  ViewState state;
  state.local.id = "u_me";
  state.self_ids = {"peer:me"};
  const document::ReactionGroup three{"👍", {"u_ann", "u_bob", "u_me"}};
  EXPECT_EQ(reaction_chip_label(three), "👍  3");
  EXPECT_TRUE(reacted_by_self(state, three));
  EXPECT_TRUE(reacted_by_self(state, {"🎉", {"peer:me"}}));
  EXPECT_FALSE(reacted_by_self(state, {"🎉", {"u_ann", "u_bob"}}));
}

TEST(ConversationMentions, UsableMentions) {
  using M = document::Mention;
  const std::string text = "@Ann and @Bé hi @Cy";  // "é" is two bytes
  const struct {
    const char* name;
    std::vector<M> in;
    std::vector<std::uint64_t> starts;
  } cases[] = {
      {"sorted by start", {{"c", 17, 3}, {"a", 0, 4}}, {0, 17}},
      {"overlap dropped", {{"a", 0, 4}, {"x", 2, 4}, {"b", 9, 4}}, {0, 9}},
      {"past the end", {{"c", 17, 4}}, {}},
      {"huge start", {{"c", std::numeric_limits<std::uint64_t>::max() - 1, 4}}, {}},
      {"ends inside a character", {{"b", 9, 3}}, {}},
      {"starts inside a character", {{"b", 12, 2}}, {}},
      {"touching mentions", {{"a", 0, 4}, {"b", 4, 5}}, {0, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint64_t> starts;
    for (const auto& m : usable_mentions(text, c.in)) starts.push_back(m.start);
    EXPECT_EQ(starts, c.starts);
  }
}

TEST(ConversationHeading, Subtitle) {
  document::Channel ch;
  ch.name = "design";
  const struct {
    const char* topic;
    const char* ws;
    bool inbox;
    const char* want;
  } cases[] = {
      {"Specs", "North", false, "Specs"},      {"", "North", false, ""},
      {"", "North", true, "From North"},       {"  Specs ", "North", true, "North · Specs"},
      {"", "  ", true, "From Zarn workspace"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    ch.topic = c.topic;
    EXPECT_EQ(heading_subtitle(ch, c.ws, c.inbox), c.want);
  }
  EXPECT_EQ(reply_count_label(1), "1 reply");
  EXPECT_EQ(reply_count_label(2), "2 replies");
}

TEST(ConversationColours, MentionColoursStayLegible) {
  const auto theme = zarn_ui::Theme::dark();
  const auto dim = zarn_ui::Color::rgb(0x202a60);
  const auto adjusted = legible_on(dim, theme.surface_base);
  ASSERT_LT(contrast_ratio(dim, theme.surface_base), 4.5);
  EXPECT_GE(contrast_ratio(adjusted, theme.surface_base), 4.5);
  EXPECT_GT(adjusted.b, adjusted.r) << "keeps its hue";
  const auto white = zarn_ui::Color::rgb(0xffffff);
  EXPECT_EQ(legible_on(white, theme.surface_base), white);
}

}  // namespace
}  // namespace chat::views
