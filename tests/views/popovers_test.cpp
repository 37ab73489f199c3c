#include "views/popovers.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "attachments/workspace_folder.h"
#include "platform/zarn_ui/image_decode.h"
#include "platform/zarn_ui/image_store.h"
#include "views/image_loader.h"

namespace chat::views {
namespace {

using zarn_ui::Rect;

void expect_rect_near(const Rect& got, const Rect& want) {
  EXPECT_NEAR(got.x0, want.x0, 1e-9);
  EXPECT_NEAR(got.y0, want.y0, 1e-9);
  EXPECT_NEAR(got.x1, want.x1, 1e-9);
  EXPECT_NEAR(got.y1, want.y1, 1e-9);
}

bool inside(const Rect& inner, const Rect& outer) {
  return inner.x0 >= outer.x0 && inner.y0 >= outer.y0 && inner.x1 <= outer.x1 &&
         inner.y1 <= outer.y1;
}

// A 1280×800 dark frame at text scale 1 with nothing else drawn.
class Scene {
 public:
  Scene()
      : surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1280, 800)),
        cr_(cairo_create(surface_)) {
    state.layout.bounds = {0, 0, 1280, 800};
    state.layout.scale = 1;
  }
  ~Scene() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Draws the popovers over the given regions (e.g. a composer's Attach button).
  void draw(std::vector<HitRegion> before = {}) {
    regions = std::move(before);
    cairo_set_source_rgb(cr_, 0, 0, 0);
    cairo_paint(cr_);
    zarn_ui::Painter painter(cr_, 1, text_);
    ViewFrame frame{painter, theme, model, state, regions, images, {}};
    draw_emoji_picker(frame);
    draw_attach_popover(frame);
    cairo_surface_flush(surface_);
  }
  AttachPopoverLayout layout(std::vector<HitRegion> before = {}) {
    regions = std::move(before);
    zarn_ui::Painter painter(cr_, 1, text_);
    ViewFrame frame{painter, theme, model, state, regions, images, {}};
    return attach_popover_layout(frame);
  }
  std::vector<HitRegion> of(ControlKind kind) const {
    std::vector<HitRegion> out;
    for (const auto& r : regions) {
      if (r.id.kind == kind) out.push_back(r);
    }
    return out;
  }
  std::uint32_t pixel(double x, double y) const {
    const auto* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    return reinterpret_cast<const std::uint32_t*>(data + static_cast<int>(y) *
                                                             stride)[static_cast<int>(x)];
  }
  void list_files(std::size_t n) {
    state.attach.open = true;
    state.attach.files.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const std::string name = "file-" + std::to_string(i) + ".txt";
      state.attach.files.push_back({"/w/" + name, name, 1000 * i, false});
    }
  }

  zarn_ui::Theme theme = zarn_ui::Theme::dark();
  document::ReadModel model;
  ViewState state;
  std::vector<HitRegion> regions;
  zarn_ui::ImageStore* images = nullptr;

 private:
  cairo_surface_t* surface_;
  cairo_t* cr_;
  zarn_ui::TextRenderer text_;
};

class Popovers : public ::testing::Test, public Scene {};

// ---- Emoji picker.

TEST(EmojiPickerRect, AnchoredBelowTheButtonAndKeptEightInside) {
  const double h = 4324.0 / 7;
  const struct {
    const char* what;
    Rect anchor;
    Rect bounds;
    Rect want;
  } cases[] = {
      {"room below", {100, 90, 130, 120}, {0, 0, 1280, 800}, Rect::from_xywh(100, 120, 320, h)},
      {"bottom-right corner",
       {1250, 760, 1280, 790},
       {0, 0, 1280, 800},
       Rect::from_xywh(1280 - 8 - 320, 800 - 8 - h, 320, h)},
      {"above and left of the bounds",
       {-50, -90, -20, -60},
       {0, 0, 1280, 800},
       Rect::from_xywh(8, 8, 320, h)},
      {"bounds smaller than the card",
       {200, 300, 230, 330},
       {0, 0, 300, 500},
       Rect::from_xywh(8, 8, 320, h)},
      {"offset small bounds",
       {10, 10, 20, 20},
       {50, 40, 350, 400},
       Rect::from_xywh(58, 48, 320, h)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    expect_rect_near(emoji_picker_rect(c.anchor, c.bounds), c.want);
  }
}

TEST(EmojiGroups, TableIsExactToTheByte) {
  const auto& groups = emoji_groups();
  ASSERT_EQ(groups.size(), 5u);
  const struct {
    std::string_view label;
    std::string joined;
  } want[] = {
      {"Frequent", "👍 🎉 \xE2\x9D\xA4\xEF\xB8\x8F 😂 🚀 👀"},
      {"Smileys", "😀 😄 😁 😂 🙂 😉 😍 😎 🤔 😇 🥳 😴"},
      {"Gestures",
       "👍 👎 👏 🙌 🙏 💪 🤝 👋 \xE2\x9C\x8C\xEF\xB8\x8F 🤙 👀 🫶"},
      {"Symbols", "\xE2\x9D\xA4\xEF\xB8\x8F 🔥 ⭐ ✨ 🎉 🚀 💯 ✅ ❌ ⚡ 💡 📌"},
      {"Objects",
       "☕ 🍕 🎧 📷 \xF0\x9F\x96\xA5\xEF\xB8\x8F 📝 🐛 🌈 🌙 \xE2\x98\x80\xEF\xB8\x8F 🎈 "
       "🧩"},
  };
  std::size_t total = 0;
  std::size_t selectors = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    SCOPED_TRACE(want[g].label);
    EXPECT_EQ(groups[g].label, want[g].label);
    std::string joined;
    for (const auto e : groups[g].emoji) {
      if (!joined.empty()) joined += ' ';
      joined += e;
      selectors += e.find("\xEF\xB8\x8F") != std::string_view::npos;
    }
    EXPECT_EQ(joined, want[g].joined);
    total += groups[g].emoji.size();
  }
  EXPECT_EQ(total, 54u);
  EXPECT_EQ(selectors, 5u);  // ❤️ twice, ✌️, 🖥️, ☀️; no other entry carries one
}

TEST_F(Popovers, ClosedSurfacesRegisterNothing) {
  draw();
  EXPECT_TRUE(regions.empty());
}

TEST_F(Popovers, PickerRegistersDismissThenEveryCellInsideTheCard) {
  state.picker = {true, std::nullopt, {400, 100, 434, 134}};
  draw();
  ASSERT_FALSE(regions.empty());
  EXPECT_EQ(regions.front().id.kind, ControlKind::Dismiss);
  EXPECT_EQ(regions.front().rect, state.layout.bounds);

  const Rect card = emoji_picker_rect(state.picker.anchor, state.layout.bounds);
  const auto choices = of(ControlKind::EmojiChoice);
  ASSERT_EQ(choices.size(), 54u);
  EXPECT_EQ(regions.size(), 55u);
  std::vector<std::string_view> table;
  for (const auto& g : emoji_groups()) table.insert(table.end(), g.emoji.begin(), g.emoji.end());
  const double cell = 296.0 / 7;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(choices[i].id.a, table[i]);
    EXPECT_TRUE(inside(choices[i].rect, card));
    EXPECT_NEAR(choices[i].rect.width(), cell - 4, 1e-9);
    EXPECT_NEAR(choices[i].rect.height(), cell - 4, 1e-9);
  }
  // First Frequent cell 12 in and 16 under the label at 36; Smileys' label 18 below the
  // one-row grid; the last Objects cell in the seventh column of its second row.
  expect_rect_near(choices[0].rect,
                   Rect::from_xywh(card.x0 + 12 + 2, card.y0 + 52 + 2, cell - 4, cell - 4));
  const double smileys_grid = 52 + cell + 6 + 18 + 16;
  EXPECT_NEAR(choices[6].rect.y0, card.y0 + smileys_grid + 2, 1e-9);
  EXPECT_NEAR(choices[53].rect.x0, card.x0 + 12 + 4 * cell + 2, 1e-9);
  EXPECT_LT(choices[53].rect.y1, card.y1);
}

TEST_F(Popovers, PickerTitleFollowsItsTarget) {
  EXPECT_EQ(emoji_picker_title({true, std::string("m1"), {}}), "Add reaction");
  EXPECT_EQ(emoji_picker_title({true, std::nullopt, {}}), "Emoji");
}

TEST_F(Popovers, HoveredCellIsHighlighted) {
  state.picker = {true, std::nullopt, {100, 40, 130, 70}};
  draw();
  const auto cell = of(ControlKind::EmojiChoice).at(9).rect;  // a Smileys cell
  const double x = cell.x0 + 4;
  const double y = cell.y0 + 4;  // inside the rounded highlight, clear of the glyph
  const auto plain = pixel(x, y);
  state.hovered = ControlId::of(ControlKind::EmojiChoice, std::string(emoji_groups()[1].emoji[3]));
  draw();
  EXPECT_NE(pixel(x, y), plain);
  EXPECT_EQ(pixel(x, y + cell.height() + 6), plain);  // the cell below stays as it was
}

// ---- Attach popover.

TEST(AttachPopoverRows, ByTextScale) {
  const struct {
    double scale;
    std::size_t rows;
  } cases[] = {{0.5, 6}, {1.0, 6}, {1.15, 6}, {1.16, 4}, {1.5, 4}, {1.51, 2}, {3, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scale);
    EXPECT_EQ(attach_popover_max_rows(c.scale), c.rows);
  }
}

TEST_F(Popovers, AttachRowsAndTheMoreLineFollowTheScale) {
  const struct {
    double scale;
    std::size_t files;
    std::size_t rows;
    std::string note;
  } cases[] = {
      {1.0, 10, 6, "+4 more in the workspace"},
      {1.3, 10, 4, "+6 more in the workspace"},
      {2.0, 10, 2, "+8 more in the workspace"},
      {1.0, 6, 6, ""},
      {1.3, 3, 3, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.scale) + " x " + std::to_string(c.files));
    state.layout.scale = c.scale;
    list_files(c.files);
    const auto lay = layout();
    EXPECT_EQ(lay.note, c.note);
    draw();
    EXPECT_EQ(regions.front().id.kind, ControlKind::Dismiss);
    const auto picks = of(ControlKind::AttachPick);
    ASSERT_EQ(picks.size(), c.rows);
    for (std::size_t i = 0; i < picks.size(); ++i) {
      EXPECT_EQ(picks[i].id.a, state.attach.files[i].path);
      EXPECT_NEAR(picks[i].rect.height(), 52 * std::min(c.scale, 1.2), 1e-9);
      EXPECT_TRUE(inside(picks[i].rect, lay.card));
      if (i > 0) {
        EXPECT_GE(picks[i].rect.y0, picks[i - 1].rect.y1);
      }
    }
  }
}

TEST_F(Popovers, RunningImportTakesNoPicks) {
  list_files(3);
  state.attach.import_running = true;
  state.hovered = ControlId::of(ControlKind::AttachPick, "/w/file-0.txt");
  draw();
  EXPECT_TRUE(of(ControlKind::AttachPick).empty());
  ASSERT_EQ(regions.size(), 1u);
  EXPECT_EQ(regions.front().id.kind, ControlKind::Dismiss);
}

TEST_F(Popovers, AttachCardWidthAndPlacement) {
  list_files(2);
  const HitRegion attach{{330, 720, 364, 754}, ControlId::of(ControlKind::Attach)};
  const struct {
    const char* what;
    double scale;
    Rect bounds;
    std::vector<HitRegion> before;
    Rect composer;
    double width;
    double x0;
    double bottom;
  } cases[] = {
      {"scale 1 on the Attach button", 1, {0, 0, 1280, 800}, {attach}, {}, 360, 330, 710},
      {"scale 1.3", 1.3, {0, 0, 1280, 800}, {attach}, {}, 450, 330, 710},
      {"scale capped at 1.25", 2, {0, 0, 1280, 800}, {attach}, {}, 450, 330, 710},
      {"minimum 220", 0.5, {0, 0, 1280, 800}, {attach}, {}, 220, 330, 710},
      {"narrow bounds win over the minimum", 1, {0, 0, 200, 800}, {attach}, {}, 176, 12, 710},
      {"kept 12 inside on the right", 1, {0, 0, 600, 800}, {attach}, {}, 360, 600 - 12 - 360, 710},
      {"main composer without a button",
       1,
       {0, 0, 1280, 800},
       {},
       {316, 700, 1280, 780},
       360,
       316,
       690},
      {"bottom-left point", 1, {0, 0, 1280, 800}, {}, {}, 360, 12, 800 - 12 - 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    state.layout.scale = c.scale;
    state.layout.bounds = c.bounds;
    state.layout.main_composer = c.composer;
    const Rect card = layout(c.before).card;
    EXPECT_NEAR(card.width(), c.width, 1e-9);
    EXPECT_NEAR(card.x0, c.x0, 1e-9);
    EXPECT_NEAR(card.y1, c.bottom, 1e-9);
  }
}

TEST_F(Popovers, TallListShrinksToStayInsideShortBounds) {
  list_files(10);
  state.layout.bounds = {0, 0, 800, 300};
  const auto lay = layout();
  EXPECT_GE(lay.card.y0, 12);
  EXPECT_LE(lay.card.y1, 288);
  ASSERT_LT(lay.rows.size(), 6u);
  EXPECT_GT(lay.rows.size(), 0u);
  for (const auto& r : lay.rows) EXPECT_TRUE(inside(r, lay.card));
  EXPECT_EQ(lay.note, "+" + std::to_string(10 - lay.rows.size()) + " more in the workspace");
}

TEST_F(Popovers, EmptyListingTexts) {
  const std::string loading = "Loading attachments\xE2\x80\xA6";
  const struct {
    const char* what;
    std::optional<std::uint64_t> listing;
    std::string folder;
    std::string status;
    std::string note;
    std::string shown_status;
    bool alarm;
  } cases[] = {
      {"listing runs", 3, "/srv/share", loading, loading, "", false},
      {"listed folder", std::nullopt, "/srv/share", "", "No attachments in /srv/share", "", false},
      {"configured folder", std::nullopt, "", "",
       "No attachments in " + attachments::workspace_folder().string(), "", false},
      {"listing failed", std::nullopt, "/srv/share",
       "Attachment picker failed: workspace is unavailable", "No attachments in /srv/share",
       "Attachment picker failed: workspace is unavailable", true},
      {"picker cancelled", std::nullopt, "/a", "Attachment picker cancelled",
       "No attachments in /a", "Attachment picker cancelled", true},
      {"progress", std::nullopt, "/a", "Preparing attachment\xE2\x80\xA6", "No attachments in /a",
       "Preparing attachment\xE2\x80\xA6", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    list_files(0);
    state.attach.outstanding_listing = c.listing;
    state.attach.folder = c.folder;
    state.attach.status = c.status;
    const auto lay = layout();
    EXPECT_EQ(lay.note, c.note);
    EXPECT_EQ(lay.status, c.shown_status);
    EXPECT_EQ(lay.status_alarm, c.alarm);
    EXPECT_TRUE(lay.rows.empty());
  }
}

// ---- Thumbnails and the file loader.

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("zarn-popovers-test-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  // A w×h opaque PNG of one colour, written by Cairo.
  std::string write_png(const std::string& name, int w, int h, double r, double g, double b) {
    const auto path = (root_ / name).string();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    EXPECT_EQ(cairo_surface_write_to_png(s, path.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    return path;
  }
  std::string sized_file(const std::string& name, std::uintmax_t size) {
    const auto path = root_ / name;
    std::ofstream(path).put('x');
    std::filesystem::resize_file(path, size);
    return path.string();
  }

  std::filesystem::path root_;
};

TEST_F(TempDir, LoaderReadsPictureFilesByAbsolutePath) {
  const auto png = write_png("shot.png", 24, 16, 1, 0, 0);
  const auto loaded = make_image_loader()(png);
  ASSERT_TRUE(loaded.has_value()) << loaded.error();
  const auto* bytes = std::get_if<zarn_ui::EncodedImage>(&loaded.value());
  ASSERT_NE(bytes, nullptr);
  auto decoded = zarn_ui::decode_image(*bytes);
  ASSERT_TRUE(decoded.has_value()) << decoded.error();
  EXPECT_EQ(decoded->width, 24);
  EXPECT_EQ(decoded->height, 16);
  EXPECT_EQ(decoded->at(5, 5), 0xFFFF0000u);

  const auto limit = sized_file("limit.png", kMaxPictureFileBytes);
  const auto at_limit = read_picture_file(limit);
  ASSERT_TRUE(at_limit.has_value()) << at_limit.error();
  EXPECT_EQ(at_limit->size(), kMaxPictureFileBytes);
}

TEST_F(TempDir, LoaderRefusesWhatIsNotASmallRegularFile) {
  const auto fifo = (root_ / "pipe.png").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto png = write_png("rel.png", 2, 2, 0, 0, 1);
  std::filesystem::create_directory(root_ / "dir.png");
  const struct {
    const char* what;
    std::string key;
  } cases[] = {
      {"one byte over 32 MiB", sized_file("big.png", kMaxPictureFileBytes + 1)},
      {"empty", sized_file("empty.png", 0)},
      {"directory", (root_ / "dir.png").string()},
      {"FIFO, without blocking", fifo},
      {"missing", (root_ / "missing.png").string()},
      {"relative path", std::filesystem::relative(png).string()},
  };
  const auto loader = make_image_loader();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto loaded = loader(c.key);
    EXPECT_FALSE(loaded.has_value());
    if (!loaded.has_value()) {
      EXPECT_FALSE(loaded.error().empty());
    }
  }
}

TEST_F(TempDir, PictureRowsShowTheirThumbnailAndOtherFilesAnIcon) {
  const auto png = write_png("red.png", 40, 30, 1, 0, 0);
  std::atomic<int> text_file_asked{0};
  const auto loader = make_image_loader();
  zarn_ui::ImageStore store([&](const std::string& key) {
    if (key.ends_with(".txt")) ++text_file_asked;
    return loader(key);
  });

  Scene canvas;
  canvas.images = &store;
  canvas.state.attach.open = true;
  canvas.state.attach.files = {{png, "red.png", 100, false},
                               {"/w/notes.txt", "notes.txt", 5, false}};
  canvas.draw();  // starts the load
  ASSERT_TRUE(store.block_until_idle(std::chrono::seconds(20)));
  ASSERT_EQ(store.get(png).state, zarn_ui::ImageState::Ready);
  canvas.draw();
  const auto rows = canvas.layout().rows;
  ASSERT_EQ(rows.size(), 2u);
  // The thumbnail sits at the row's left; the picture's pure red fills its centre.
  const double mid = rows[0].y0 + rows[0].height() / 2;
  EXPECT_EQ(canvas.pixel(rows[0].x0 + 8 + 19, mid), 0xFFFF0000u);
  EXPECT_NE(canvas.pixel(rows[1].x0 + 8 + 19, rows[1].y0 + rows[1].height() / 2), 0xFFFF0000u);
  EXPECT_EQ(text_file_asked.load(), 0);
}

}  // namespace
}  // namespace chat::views
