#include "app/shot.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "app/startup.h"

namespace chat::app {
namespace {

namespace fs = std::filesystem;
using zarn_ui::launch::ShotRequest;
using zarn_ui::launch::ShotSize;

class ShotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zarn-shot-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
};

struct Png {
  int width = 0;
  int height = 0;
  std::size_t colours = 0;  // distinct pixel values, counted on a sparse grid
};

std::optional<Png> read_png(const fs::path& path) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return std::nullopt;
  }
  Png png;
  png.width = cairo_image_surface_get_width(s);
  png.height = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  std::set<std::uint32_t> seen;
  for (int y = 0; y < png.height; y += 3) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
    for (int x = 0; x < png.width; x += 3) seen.insert(row[x]);
  }
  png.colours = seen.size();
  cairo_surface_destroy(s);
  return png;
}

TEST_F(ShotTest, MissingOutputFailsBeforeWritingAnything) {
  ShotRequest request;
  request.layout = "attach";
  request.a11y = dir_ / "tree.json";
  ::testing::internal::CaptureStdout();
  auto done = render_shot(request);
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_FALSE(done);
  EXPECT_EQ(done.error(), "missing screenshot output");
  EXPECT_EQ(out, "");
  EXPECT_TRUE(fs::is_empty(dir_));
}

// Every offered layout, an unknown name and no name at all give a full-size, painted picture.
TEST_F(ShotTest, EveryLayoutRendersAPaintedFrame) {
  std::vector<std::optional<std::string>> names(kShotLayouts.begin(), kShotLayouts.end());
  names.push_back("no-such-layout");
  names.push_back(std::nullopt);
  for (const auto& name : names) {
    SCOPED_TRACE(name.value_or("(no name)"));
    ShotRequest request;
    request.layout = name;
    request.output = dir_ / (name.value_or("default") + ".png");
    ::testing::internal::CaptureStdout();
    auto done = render_shot(request);
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(done) << done.error();
    EXPECT_EQ(out, "chat: wrote shot to " + request.output->string() + "\n");
    auto png = read_png(*request.output);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 1280);
    EXPECT_EQ(png->height, 800);
    // A frame with panes, text and avatars holds far more than a handful of colours.
    EXPECT_GT(png->colours, 50u);
  }
}

TEST_F(ShotTest, RequestedSizeAndAccessibilityTreeAreWritten) {
  ShotRequest request;
  request.layout = "people";
  request.size = ShotSize{640, 400};
  request.output = dir_ / "small.png";
  request.a11y = dir_ / "small.json";
  ::testing::internal::CaptureStdout();
  auto done = render_shot(request);
  (void)::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(done) << done.error();
  auto png = read_png(*request.output);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, 640);
  EXPECT_EQ(png->height, 400);
  EXPECT_GT(fs::file_size(*request.a11y), 0u);
}

TEST_F(ShotTest, UnwritableOutputIsAFailureNotAWrittenShot) {
  ShotRequest request;
  request.output = dir_ / "missing-folder" / "shot.png";
  ::testing::internal::CaptureStdout();
  auto done = render_shot(request);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(done);
  EXPECT_EQ(out.find("chat: wrote shot"), std::string::npos);
  EXPECT_FALSE(fs::exists(*request.output));
}

zarn::Result<StagedShot> stage(std::string_view layout) {
  ShotRequest request;
  request.layout = std::string(layout);
  return stage_shot(request);
}

TEST(ShotPresetTest, AttachPopoverStates) {
  auto loading = stage("attach-loading");
  ASSERT_TRUE(loading) << loading.error();
  const auto& l = loading->app->view().attach;
  EXPECT_TRUE(l.open);
  EXPECT_TRUE(l.files.empty());
  EXPECT_EQ(l.outstanding_listing, std::optional<std::uint64_t>(0));
  EXPECT_EQ(l.status, "Loading attachments\xE2\x80\xA6");

  auto error = stage("attach-error");
  ASSERT_TRUE(error) << error.error();
  const auto& e = error->app->view().attach;
  EXPECT_TRUE(e.open);
  ASSERT_EQ(e.files.size(), 2u);
  EXPECT_EQ(e.files[0].name, "call-overlay-v3.png");
  EXPECT_EQ(e.files[0].path, "zarn-demo://call-grid");
  EXPECT_EQ(e.files[0].size, 84992u);
  EXPECT_EQ(e.files[1].name, "design-handoff.png");
  EXPECT_EQ(e.files[1].path, "zarn-demo://shared-shot");
  EXPECT_EQ(e.files[1].size, 132480u);
  EXPECT_EQ(e.status, "Attachment import failed: file is unavailable");
}

// The pictures a shot paints are decoded before it draws, both in messages and in the popover.
TEST(ShotPresetTest, PicturesArePreloaded) {
  auto shot = stage("attach");
  ASSERT_TRUE(shot) << shot.error();
  std::vector<std::string> keys;
  for (const auto& file : shot->app->view().attach.files) keys.push_back(file.path);
  for (const auto& m : shot->app->model().messages) {
    const auto* image =
        m.attachment ? std::get_if<document::ImageAttachment>(&*m.attachment) : nullptr;
    if (image != nullptr && image->blob.starts_with("zarn-demo://")) keys.push_back(image->blob);
  }
  ASSERT_GT(keys.size(), 2u);  // the popover's two files and the channel's demo picture
  for (const auto& key : keys) {
    SCOPED_TRACE(key);
    EXPECT_EQ(shot->app->images().get(key).state, zarn_ui::ImageState::Ready);
  }
}

TEST(ShotPresetTest, StarterSeedsTheStarterWorkspaceInstead) {
  auto starter = stage("starter");
  ASSERT_TRUE(starter) << starter.error();
  const auto& ws = starter->app->model().workspaces;
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_EQ(ws[0].id, "ws_home");

  auto demo = stage("compact");
  ASSERT_TRUE(demo) << demo.error();
  ASSERT_FALSE(demo->app->model().workspaces.empty());
  EXPECT_EQ(demo->app->model().workspaces[0].id, "ws_acme");
}

// The staged state survives the frame's sync (selection repair, draft copy, focus).
TEST(ShotPresetTest, StagedStateSurvivesTheFrame) {
  using Override = views::Flap::Override;
  struct Case {
    std::string layout;
    std::optional<std::string> thread;
    Override right;
    bool in_call;
    bool expanded;
    bool sharing;
  };
  const Case cases[] = {
      {"compact", std::nullopt, Override::Hidden, false, false, false},
      {"people", std::nullopt, Override::Shown, false, false, false},
      {"thread-narrow", "m_concept", Override::Shown, false, false, false},
      {"collaboration", "m_concept", Override::Shown, true, false, false},
      {"call", std::nullopt, Override::Hidden, true, true, false},
      {"share", std::nullopt, Override::Hidden, true, true, true},
      {"floating-call", std::nullopt, Override::Hidden, true, false, false},
      {"whatever", std::nullopt, Override::Hidden, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layout);
    auto shot = stage(c.layout);
    ASSERT_TRUE(shot) << shot.error();
    const views::ViewState& v = shot->app->view();
    EXPECT_EQ(v.selection.open_thread, c.thread);
    EXPECT_EQ(v.layout.right.override_state, c.right);
    EXPECT_DOUBLE_EQ(v.layout.right.progress, c.right == Override::Shown ? 1.0 : 0.0);
    EXPECT_EQ(v.call.in_call, c.in_call);
    EXPECT_EQ(v.call.channel, c.in_call ? "c_huddle" : "");
    EXPECT_EQ(v.call.expanded, c.expanded);
    EXPECT_EQ(v.call.sharing, c.sharing);
  }

  auto narrow = stage("narrow");
  ASSERT_TRUE(narrow) << narrow.error();
  EXPECT_EQ(narrow->app->view().layout.left.override_state, Override::Hidden);
  EXPECT_DOUBLE_EQ(narrow->app->view().layout.left.progress, 0.0);

  auto history = stage("history");
  ASSERT_TRUE(history) << history.error();
  EXPECT_FALSE(history->app->view().follow_latest);
  EXPECT_DOUBLE_EQ(history->app->view().scroll_offset, 220);
}

TEST(ShotPresetTest, EditAndComposerTextsWithCaretAtTheEnd) {
  auto edit = stage("edit");
  ASSERT_TRUE(edit) << edit.error();
  const views::ViewState& e = edit->app->view();
  EXPECT_EQ(e.editing_message, std::optional<std::string>("m_me2"));
  EXPECT_EQ(e.edit_input.text(), kShotEditText);
  EXPECT_EQ(e.edit_input.cursor_pos(), 125u);
  EXPECT_FALSE(e.thread_focus);
  EXPECT_TRUE(e.edit_input.is_focused());
  EXPECT_FALSE(e.main_composer.is_focused());

  auto composer = stage("composer");
  ASSERT_TRUE(composer) << composer.error();
  const views::ViewState& c = composer->app->view();
  const std::string text = c.main_composer.text();
  EXPECT_EQ(text,
            "Shipping the composer on the shared TextInput \xE2\x80\x94 real caret, selection, and "
            "Ctrl+C/V now.\nEnter sends, Shift+Enter for a new line.\nPlease check teh adress");
  EXPECT_EQ(c.main_composer.cursor_pos(), text.size());
  EXPECT_TRUE(c.main_composer.is_focused());
}

}  // namespace
}  // namespace chat::app
