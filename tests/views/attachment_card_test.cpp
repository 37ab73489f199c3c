#include "views/attachment_card.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/strata/fs_blob_store.h"
#include "platform/zarn_ui/image_store.h"
#include "views/image_loader.h"

namespace chat::views {
namespace {

using document::FileAttachment;
using document::ImageAttachment;
using document::VideoAttachment;

const std::string kHex64 = std::string(64, 'a');

TEST(AttachmentAccess, OnlyWellFormedReferencesReachThePermission) {
  const struct {
    std::string blob;
    bool can_read;
    bool allowed;
  } cases[] = {
      {kHex64, true, true},
      {std::string(32, 'A') + std::string(32, '9'), true, true},
      {"0123456789abcdefABCDEF" + std::string(42, 'f'), true, true},
      {kHex64, false, false},
      {std::string(63, 'a'), true, false},
      {std::string(65, 'a'), true, false},
      {std::string(63, 'a') + "g", true, false},
      {std::string(kDemoCallGrid), true, true},
      {std::string(kDemoSharedShot), true, true},
      {std::string(kDemoCallGrid), false, false},
      {"zarn-demo://other", true, false},
      {std::string(kDemoCallGrid) + " ", true, false},
      {"demo:design-review.mp4", true, false},
      {"/var/workspace/a.png", true, false},
      {"", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blob + (c.can_read ? " read" : " no-read"));
    EXPECT_EQ(attachment_access_allowed(c.blob, c.can_read), c.allowed);
  }
}

TEST(AttachmentKeys, DemoKeysStayAndStoredIdsGetTheBlobScheme) {
  EXPECT_EQ(image_key(kDemoCallGrid), "zarn-demo://call-grid");
  EXPECT_EQ(image_key(kDemoSharedShot), "zarn-demo://shared-shot");
  EXPECT_EQ(image_key(kHex64), "zarn-blob://" + kHex64);
  EXPECT_EQ(image_key("demo:clip.mp4"), "zarn-blob://demo:clip.mp4");
}

TEST(AttachmentCardSize, FollowsTheKindTable) {
  const struct {
    const char* what;
    document::Attachment attachment;
    double available;
    double scale;
    bool allowed;
    double width;
    double height;
  } cases[] = {
      {"wide picture", ImageAttachment{"a", kHex64, 4000, 1000}, 600, 1, true, 380, 95},
      {"tall picture", ImageAttachment{"a", kHex64, 1000, 4000}, 600, 1, true, 52.5, 210},
      {"narrow column", ImageAttachment{"a", kHex64, 400, 200}, 200, 1, true, 200, 100},
      {"zero dimensions as 1", ImageAttachment{"a", kHex64, 0, 0}, 600, 1, true, 210, 210},
      {"denied picture keeps its size", ImageAttachment{"a", "x", 4000, 1000}, 600, 2, false, 380,
       95},
      {"video with size", VideoAttachment{"v", kHex64, 1920, 1080, 5}, 600, 1, true, 373.333, 210},
      {"video 16:9 fits", VideoAttachment{"v", kHex64, 0, 0, 5}, 320, 1, true, 320, 180},
      {"video without size", VideoAttachment{"v", kHex64, 0, 0, 5}, 600, 1, true, 373.333, 210},
      {"video with one side", VideoAttachment{"v", kHex64, 640, 0, 5}, 600, 1, true, 373.333, 210},
      {"file", FileAttachment{"f", kHex64, 10}, 600, 1.5, true, 360, 58},
      {"file in a narrow column", FileAttachment{"f", kHex64, 10}, 300, 1, true, 300, 58},
      {"denied file grows with scale", FileAttachment{"f", "demo:f", 10}, 600, 1.5, false, 360, 87},
      {"negative width", FileAttachment{"f", kHex64, 10}, -20, 1, true, 0, 58},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto size = attachment_card_size(c.attachment, c.available, c.scale, c.allowed);
    EXPECT_NEAR(size.width, c.width, 0.001);
    EXPECT_NEAR(size.height, c.height, 0.001);
  }
}

TEST(AttachmentCardText, SubtitlesOfFilesAndVideos) {
  const struct {
    const char* name;
    std::uint64_t size;
    const char* line;
  } files[] = {
      {"notes", 2048, "2.0 KB"},
      {"report.pdf", 1536, "PDF · 1.5 KB"},
      {"archive.tar.gz", 10, "GZ · 10 B"},
      {"Design.Sketch", 0, "SKETCH · 0 B"},
      {".bashrc", 12, "12 B"},
      {"draft.", 12, "12 B"},
      {"dir.v2/readme", 12, "12 B"},
  };
  for (const auto& c : files) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(file_card_subtitle(c.name, c.size), c.line);
  }
  EXPECT_EQ(video_card_subtitle(0, 0, 3 << 20), "video · 3.0 MB");
  EXPECT_EQ(video_card_subtitle(1280, 0, 100), "video · 100 B");
  EXPECT_EQ(video_card_subtitle(1280, 720, 100), "1280×720 · 100 B");
}

// A content store in a fresh folder, installed for the test and removed afterwards.
class StoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("zarn-card-test-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  void TearDown() override {
    strata::blobstore::set_store(nullptr);
    std::filesystem::remove_all(root_);
  }
  std::shared_ptr<strata::blobstore::FsBlobStore> install(
      strata::blobstore::FsBlobStore::Bookkeeping book = {}) {
    auto store = std::make_shared<strata::blobstore::FsBlobStore>(root_, 1 << 20, 8 << 20, 100,
                                                                  1000, std::move(book));
    strata::blobstore::set_store(store);
    return store;
  }
  std::filesystem::path root_;
};

TEST_F(StoreFixture, PlaceholderTextFollowsTheStoreState) {
  const std::string absent = std::string(64, 'b');
  const std::string writing = std::string(64, 'c');
  strata::blobstore::FsBlobStore::Bookkeeping book;
  book.writing[writing] = 1;
  auto store = install(std::move(book));
  const strata::blobstore::Bytes bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  auto stored = store->put(bytes);
  ASSERT_TRUE(stored.has_value()) << stored.error();

  const struct {
    std::string blob;
    bool failed;
    const char* text;
  } cases[] = {
      {std::string(kDemoCallGrid), false, "Loading image…"},
      {*stored, false, "Decoding image…"},
      {writing, false, "Loading shared image…"},
      {absent, false, "Shared image unavailable"},
      // Stored bytes that the decoder refused stay unavailable rather than "decoding" forever.
      {*stored, true, "Shared image unavailable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(image_status_text(c.blob, c.failed), c.text);
  }
}

TEST_F(StoreFixture, LoaderDrawsDemoPicturesAndReadsStoredBytes) {
  auto store = install();
  const strata::blobstore::Bytes bytes{1, 2, 3, 4, 5, 250};
  auto id = store->put(bytes);
  ASSERT_TRUE(id.has_value()) << id.error();
  const auto loader = make_image_loader();

  const struct {
    std::string key;
    int width;
    int height;
  } demos[] = {{"zarn-demo://call-grid", 640, 360}, {"zarn-demo://shared-shot", 620, 400}};
  for (const auto& d : demos) {
    SCOPED_TRACE(d.key);
    auto loaded = loader(d.key);
    ASSERT_TRUE(loaded.has_value()) << loaded.error();
    const auto* image = std::get_if<zarn_ui::Image>(&loaded.value());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, d.width);
    EXPECT_EQ(image->height, d.height);
    EXPECT_TRUE(zarn_ui::validate_image(*image).has_value());
    // Opaque everywhere (a drawn frame, not a transparent buffer) and not one flat colour.
    EXPECT_EQ(image->at(0, 0) >> 24, 0xFFu);
    EXPECT_EQ(image->at(d.width - 1, d.height - 1) >> 24, 0xFFu);
    EXPECT_NE(image->at(d.width / 4, d.height / 4), image->at(0, 0));
  }

  auto blob = loader("zarn-blob://" + *id);
  ASSERT_TRUE(blob.has_value()) << blob.error();
  const auto* encoded = std::get_if<zarn_ui::EncodedImage>(&blob.value());
  ASSERT_NE(encoded, nullptr);
  EXPECT_EQ(*encoded, bytes);

  for (const std::string& key :
       {"zarn-blob://" + std::string(64, 'd'), std::string("zarn-blob://"),
        std::string("zarn-blob://../../etc/passwd"), std::string("zarn-demo://nothing"),
        std::string("/var/workspace/photo.png"), *id, std::string()}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(loader(key).has_value());
  }
}

TEST_F(StoreFixture, LoaderWithoutAStoreFindsNothing) {
  EXPECT_FALSE(make_image_loader()("zarn-blob://" + kHex64).has_value());
}

// Draws cards onto a canvas filled with a sentinel colour.
class CardCanvas : public ::testing::Test {
 protected:
  static constexpr int kW = 640;
  static constexpr int kH = 320;

  void SetUp() override {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
    cr_ = cairo_create(surface_);
  }
  void TearDown() override {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  zarn_ui::Size draw(const document::Attachment& a, zarn_ui::Point origin, double available,
                     zarn_ui::ImageStore* images = nullptr) {
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr_, 0, 0, 0, 0);
    cairo_paint(cr_);
    cairo_restore(cr_);
    zarn_ui::Painter painter(cr_, 1, text_);
    ViewFrame frame{painter, theme_, model_, state_, regions_, images, {}};
    const auto size = draw_attachment_card(frame, a, origin, available);
    cairo_surface_flush(surface_);
    return size;
  }
  std::uint32_t pixel(int x, int y) const {
    const auto* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    return reinterpret_cast<const std::uint32_t*>(data + y * stride)[x];
  }
  // Whether anything was painted on a pixel that does not touch `r`.
  bool painted_outside(const zarn_ui::Rect& r) const {
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        if (x + 1 > r.x0 && x < r.x1 && y + 1 > r.y0 && y < r.y1) continue;
        if (pixel(x, y) != 0) return true;
      }
    }
    return false;
  }

  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  zarn_ui::TextRenderer text_;
  zarn_ui::Theme theme_ = zarn_ui::Theme::dark();
  document::ReadModel model_;
  ViewState state_;
  std::vector<HitRegion> regions_;
};

TEST_F(CardCanvas, CardsStayInsideTheirSizeAndRegisterNothing) {
  const std::string long_name(200, 'n');
  const struct {
    const char* what;
    document::Attachment attachment;
    double available;
    bool can_read;
  } cases[] = {
      {"picture placeholder", ImageAttachment{long_name, kHex64, 1200, 800}, 600, true},
      {"tall picture", ImageAttachment{"p.png", kHex64, 100, 4000}, 600, true},
      {"video", VideoAttachment{long_name, kHex64, 0, 0, 123456}, 600, true},
      {"small video", VideoAttachment{"v", kHex64, 0, 0, 1}, 90, true},
      {"file", FileAttachment{long_name + ".pdf", kHex64, 99}, 600, true},
      {"denied file", FileAttachment{long_name, "demo:f", 99}, 600, true},
      {"denied video", VideoAttachment{long_name, "demo:v", 0, 0, 1}, 600, true},
      {"unreadable picture", ImageAttachment{"p", kHex64, 400, 300}, 600, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    state_.presence.permissions =
        c.can_read ? zarn_ui::PermissionContext::permissive() : zarn_ui::PermissionContext::none();
    const zarn_ui::Point origin{40, 30};
    const auto size = draw(c.attachment, origin, c.available);
    EXPECT_GT(size.width, 0);
    const auto card = zarn_ui::Rect::from_xywh(origin.x, origin.y, size.width, size.height);
    EXPECT_FALSE(painted_outside(card));
    EXPECT_NE(pixel(static_cast<int>(card.center().x), static_cast<int>(card.center().y)), 0u);
    EXPECT_TRUE(regions_.empty());
  }
}

TEST_F(CardCanvas, ReadyDemoPictureIsPaintedInsteadOfThePlaceholder) {
  zarn_ui::ImageStore store(make_image_loader());
  const ImageAttachment grid{"call.png", std::string(kDemoCallGrid), 640, 360};
  ASSERT_EQ(store.get(std::string(kDemoCallGrid)).state, zarn_ui::ImageState::Loading);
  ASSERT_TRUE(store.block_until_idle(std::chrono::seconds(20)));
  ASSERT_EQ(store.get(std::string(kDemoCallGrid)).state, zarn_ui::ImageState::Ready);

  const zarn_ui::Point origin{10, 10};
  const auto size = draw(grid, origin, 600, nullptr);
  EXPECT_NEAR(size.width, 373.333, 0.001);
  EXPECT_NEAR(size.height, 210, 0.001);
  // Sample a row above the caption strip, across the card.
  std::vector<std::uint32_t> placeholder;
  for (int x = 30; x < 370; x += 17) placeholder.push_back(pixel(x, 60));
  draw(grid, origin, 600, &store);
  std::vector<std::uint32_t> picture;
  for (int x = 30; x < 370; x += 17) picture.push_back(pixel(x, 60));
  EXPECT_NE(placeholder, picture);
  // The placeholder is one flat card colour along that row; the picture is not.
  EXPECT_EQ(std::count(placeholder.begin(), placeholder.end(), placeholder.front()),
            static_cast<std::ptrdiff_t>(placeholder.size()));
  EXPECT_LT(std::count(picture.begin(), picture.end(), picture.front()),
            static_cast<std::ptrdiff_t>(picture.size()));
}

}  // namespace
}  // namespace chat::views
