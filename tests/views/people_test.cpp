#include "views/people.h"

#include <gtest/gtest.h>

namespace chat::views {
namespace {

TEST(PeopleLabels, AuthorLabels) {
  ViewState state;
  state.local.id = "u_me";
  state.local.name = "Mira";
  state.self_ids = {"u_alias"};
  state.roster["u_roster"] = {"Rosa", {}};
  document::ReadModel model;
  for (auto [id, name] : {std::pair{"u_lena", "Lena"}, std::pair{"u_blank", "   "}}) {
    document::Person p;
    p.id = id;
    p.name = name;
    model.people.push_back(p);
  }

  const struct {
    const char* id;
    const char* label;
  } cases[] = {
      {"u_me", "You"},
      {"u_alias", "You"},
      {"u_roster", "Rosa"},
      {"u_lena", "Lena"},
      {"u_7f3a9c", "Someone (3a9c)"},
      {"u_blank", "Someone (lank)"},
      {"agent@host:ab", "Someone (ab)"},
      {"peer@x7f3a9c", "Someone (3a9c)"},
      {"bot:", "Someone (bot:)"},
      {"u_é€漢字x", "Someone (€漢字x)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(author_label(state, model, c.id), c.label);
  }
}

TEST(PeopleLabels, TimeLabelsAreUtcAndZeroPadded) {
  EXPECT_EQ(time_label(0), "00:00");
  EXPECT_EQ(time_label(kDayReference), "12:40");
  EXPECT_EQ(time_label(9 * 3600 + 5 * 60 + 59), "09:05");
  EXPECT_EQ(time_label(-60), "23:59");
}

}  // namespace
}  // namespace chat::views
