#include "platform/zarn_ui/shot_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "demo_widget.h"
#include "platform/zarn_ui/launch.h"
#include "test_pixels.h"

namespace zarn_ui::launch {
namespace {

namespace fs = std::filesystem;
using zarn_ui::testing::DemoWidget;

class ShotFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zarn_ui_shot_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(ShotFrameTest, DemoRendersToPngOfRequestedSizeWithAccessibility) {
  ShotRequest req{.layout = "demo", .size = ShotSize{420, 260}};
  auto frame = ShotFrame::create(420, 260, shot_theme(req));
  ASSERT_TRUE(frame.has_value()) << frame.error();
  DemoWidget demo;
  frame->sync(demo);
  EXPECT_EQ(demo.syncs(), 1);
  ASSERT_TRUE(demo.images().block_until_idle(std::chrono::seconds(3)));
  ASSERT_TRUE(frame->layout(demo).has_value());
  EXPECT_EQ(demo.bounds(), (Rect{0, 0, 420, 260}));
  frame->draw(demo);
  frame->draw_floating_surfaces(demo);

  // Kept in the build tree so a person can look at the rendering.
  fs::path png = fs::path(ZARN_TEST_BINARY_DIR) / "zarn_ui_demo.png";
  fs::path json = fs::path(ZARN_TEST_BINARY_DIR) / "zarn_ui_demo.json";
  ASSERT_TRUE(frame->write_png(png).has_value());
  ASSERT_TRUE(frame->write_a11y(json).has_value());
  EXPECT_FALSE(fs::exists(png.string() + ".tmp"));

  cairo_surface_t* back = cairo_image_surface_create_from_png(png.c_str());
  ASSERT_EQ(cairo_surface_status(back), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(back), 420);
  EXPECT_EQ(cairo_image_surface_get_height(back), 260);
  EXPECT_GT(zarn_ui::testing::distinct_colours(back), 20);
  // The picture from the image store is painted: its corner-to-corner gradient shows.
  const AccessNode* pic = frame->last_access_tree().find("demo.picture");
  ASSERT_NE(pic, nullptr);
  auto left = zarn_ui::testing::pixel_at(back, static_cast<int>(pic->rect.x0) + 6,
                                         static_cast<int>(pic->rect.center().y));
  auto right = zarn_ui::testing::pixel_at(back, static_cast<int>(pic->rect.x1) - 6,
                                          static_cast<int>(pic->rect.center().y));
  EXPECT_GT(right.r, left.r + 100);
  cairo_surface_destroy(back);

  std::ifstream in(json);
  auto doc = nlohmann::json::parse(in);
  EXPECT_EQ(doc["frame"]["width"], 420);
  EXPECT_EQ(doc["tree"]["id"], "demo");
  std::map<std::string, std::string> regions;
  for (const auto& r : doc["regions"]) regions[r["id"]] = r["role"];
  EXPECT_EQ(regions["demo.send"], "button");
  EXPECT_EQ(regions["demo.input"], "text_field");
  EXPECT_EQ(regions["demo.title"], "heading");
  EXPECT_EQ(regions["demo.picture"], "image");
  const AccessNode* input = frame->last_access_tree().find("demo.input");
  ASSERT_NE(input, nullptr);
  EXPECT_EQ(input->value, "Hello, editor");
}

TEST_F(ShotFrameTest, OpenMenuAppearsInPixelsAndTree) {
  auto frame = ShotFrame::create(400, 300, Theme::dark());
  ASSERT_TRUE(frame.has_value());
  DemoWidget demo;
  frame->sync(demo);
  ASSERT_TRUE(frame->layout(demo).has_value());
  frame->draw(demo);
  EXPECT_EQ(frame->last_access_tree().find("context-menu"), nullptr);
  demo.open_menu({200, 150});
  ASSERT_TRUE(demo.has_popup());
  frame->draw(demo);
  EXPECT_NE(frame->last_access_tree().find("context-menu"), nullptr);
  EXPECT_NE(frame->last_access_tree().find("context-menu:item:1"), nullptr);
}

TEST_F(ShotFrameTest, ThemeScaleMakesLogicalFrameSmaller) {
  Theme theme = Theme::dark();
  theme.scale = 2;
  auto frame = ShotFrame::create(400, 300, theme);
  ASSERT_TRUE(frame.has_value());
  Widget plain;
  ASSERT_TRUE(frame->layout(plain).has_value());
  EXPECT_EQ(plain.bounds(), (Rect{0, 0, 200, 150}));
}

TEST_F(ShotFrameTest, RejectsUnusableFrameSizes) {
  const std::pair<std::uint32_t, std::uint32_t> bad[] = {
      {0, 100}, {100, 0}, {ShotFrame::kMaxSide + 1, 10}, {10, 1u << 31}};
  for (auto [w, h] : bad) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    auto frame = ShotFrame::create(w, h, Theme::dark());
    ASSERT_FALSE(frame.has_value());
    EXPECT_NE(frame.error().find("size"), std::string::npos);
  }
}

TEST_F(ShotFrameTest, LayoutFailureCarriesDisplayText) {
  struct Broken : Widget {
    Size build_layout(const Constraints&, FrameCtx&) override { return {NAN, 10}; }
    int applied = 0;
    void apply_layout(const Rect&, FrameCtx&) override { ++applied; }
  };
  auto frame = ShotFrame::create(100, 100, Theme::dark());
  ASSERT_TRUE(frame.has_value());
  Broken w;
  LayoutResult r = frame->layout(w);
  ASSERT_FALSE(r.has_value());
  EXPECT_NE(r.error().display().find("layout"), std::string::npos);
  EXPECT_EQ(w.applied, 0);
}

TEST_F(ShotFrameTest, PngWriteFailureIsReportedAndLeavesNothing) {
  auto frame = ShotFrame::create(20, 20, Theme::dark());
  ASSERT_TRUE(frame.has_value());
  fs::path missing = dir_ / "no-such-dir" / "x.png";
  auto r = frame->write_png(missing);
  EXPECT_FALSE(r.has_value());
  EXPECT_NE(r.error().find("x.png"), std::string::npos);
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_FALSE(frame->write_png("").has_value());
}

TEST_F(ShotFrameTest, DispatchReachesLentDocumentOnlyThroughARegistry) {
  struct Dispatcher : Widget {
    std::optional<zarn::Result<void>> result;
    void sync(FrameCtx& ctx) override { result = ctx.dispatch({"demo.kind", "{}"}); }
  };
  auto frame = ShotFrame::create(20, 20, Theme::dark());
  ASSERT_TRUE(frame.has_value());
  Dispatcher w;
  frame->sync(w);
  ASSERT_TRUE(w.result.has_value());
  EXPECT_FALSE(w.result->has_value());  // no document lent: refused, not silently dropped
}

}  // namespace
}  // namespace zarn_ui::launch
