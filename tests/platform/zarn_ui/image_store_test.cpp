#include "platform/zarn_ui/image_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <cairo.h>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/text_renderer.h"

namespace zarn_ui {
namespace {

using namespace std::chrono_literals;

// Long enough that a wait only runs out when something is actually stuck.
constexpr auto kPatience = 10s;

std::vector<std::uint8_t> read_fixture(const std::string& name) {
  std::ifstream in(std::string(ZARN_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Argb {
  int a, r, g, b;
};
Argb channels(std::uint32_t p) {
  return {int(p >> 24), int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
}

void expect_near(std::uint32_t actual, std::uint32_t expected, int tolerance) {
  const Argb a = channels(actual);
  const Argb e = channels(expected);
  EXPECT_NEAR(a.a, e.a, tolerance);
  EXPECT_NEAR(a.r, e.r, tolerance);
  EXPECT_NEAR(a.g, e.g, tolerance);
  EXPECT_NEAR(a.b, e.b, tolerance);
}

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00A000;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kHalfWhite = 0x80808080;  // white at alpha 128, premultiplied

struct PixelCheck {
  int x, y;
  std::uint32_t argb;
};
struct Fixture {
  const char* file;
  ImageFormat format;
  int width, height;
  int tolerance;  // lossy formats drift
  std::vector<PixelCheck> pixels;
};

const std::vector<Fixture>& fixtures() {
  static const std::vector<Fixture> all = {
      {"rgba.png",
       ImageFormat::Png,
       13,
       7,
       0,
       {{0, 0, kRed}, {1, 0, kHalfWhite}, {12, 0, kBlue}, {6, 4, kGreen}}},
      {"photo.jpg", ImageFormat::Jpeg, 17, 9, 24, {{8, 5, kGreen}, {3, 7, kGreen}}},
      {"first_frame.gif",
       ImageFormat::Gif,
       11,
       5,
       0,
       {{0, 0, kRed}, {10, 0, kBlue}, {5, 3, kGreen}}},
      {"pattern.bmp", ImageFormat::Bmp, 10, 6, 0, {{0, 0, kRed}, {9, 0, kBlue}, {4, 5, kGreen}}},
      {"lossless.webp",
       ImageFormat::WebP,
       12,
       8,
       0,
       {{0, 0, kRed}, {1, 0, kHalfWhite}, {11, 0, kBlue}, {5, 7, kGreen}}},
      {"lossy.webp", ImageFormat::WebP, 24, 16, 24, {{12, 8, kGreen}}},
  };
  return all;
}

TEST(ImageDecode, EveryFormatDecodesToPremultipliedArgbOfTheRightSize) {
  for (const Fixture& f : fixtures()) {
    SCOPED_TRACE(f.file);
    const auto bytes = read_fixture(f.file);
    auto info = probe_image(bytes);
    ASSERT_TRUE(info) << info.error();
    EXPECT_EQ(info->format, f.format);
    EXPECT_EQ(info->width, f.width);
    EXPECT_EQ(info->height, f.height);

    auto image = decode_image(bytes);
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image->width, f.width);
    EXPECT_EQ(image->height, f.height);
    ASSERT_EQ(image->pixels.size(), std::size_t(f.width) * f.height);
    for (const PixelCheck& p : f.pixels) {
      SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
      expect_near(image->at(p.x, p.y), p.argb, f.tolerance);
    }
  }
}

// Offset where the GIF's second frame starts: its first frame is whole from there on.
std::size_t gif_second_frame_offset(const std::vector<std::uint8_t>& gif) {
  const std::uint8_t gce[] = {0x21, 0xF9, 0x04};
  auto first = std::search(gif.begin(), gif.end(), std::begin(gce), std::end(gce));
  auto second = std::search(first + 1, gif.end(), std::begin(gce), std::end(gce));
  return std::size_t(second - gif.begin());
}

TEST(ImageDecode, EveryTruncationFailsCleanly) {
  for (const Fixture& f : fixtures()) {
    SCOPED_TRACE(f.file);
    const auto bytes = read_fixture(f.file);
    // Only the image data counts: a PNG missing just its closing checksum (which nothing
    // reads) is whole, as is a GIF cut after its first frame.
    std::size_t whole = bytes.size();
    if (f.format == ImageFormat::Png) whole -= 4;
    if (f.format == ImageFormat::Gif) whole = gif_second_frame_offset(bytes);
    for (std::size_t len = 0; len < whole; ++len) {
      DecodeStats stats;
      auto image = decode_image(std::span(bytes.data(), len), {}, &stats);
      ASSERT_FALSE(image) << "prefix of " << len << " bytes decoded";
      EXPECT_FALSE(image.error().empty());
    }
    // A GIF cut inside a later frame still shows its complete first frame.
    if (f.format == ImageFormat::Gif) {
      EXPECT_TRUE(decode_image(std::span(bytes.data(), whole + 20)));
    }
  }
}

std::vector<std::uint8_t> be32(std::uint32_t v) {
  return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}
std::vector<std::uint8_t> le32(std::uint32_t v) {
  return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}
void append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& more) {
  out.insert(out.end(), more.begin(), more.end());
}

// Headers that claim a picture far beyond the limits, followed by a little filler.
std::vector<std::uint8_t> png_header(std::uint32_t w, std::uint32_t h) {
  std::vector<std::uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  append(b, be32(13));
  append(b, {'I', 'H', 'D', 'R'});
  append(b, be32(w));
  append(b, be32(h));
  append(b, {8, 6, 0, 0, 0, 0, 0, 0, 0});
  b.resize(b.size() + 64, 0);
  return b;
}
std::vector<std::uint8_t> jpeg_header(std::uint16_t w, std::uint16_t h) {
  std::vector<std::uint8_t> b = {0xFF,
                                 0xD8,
                                 0xFF,
                                 0xC0,
                                 0,
                                 17,
                                 8,
                                 std::uint8_t(h >> 8),
                                 std::uint8_t(h),
                                 std::uint8_t(w >> 8),
                                 std::uint8_t(w),
                                 3};
  for (std::uint8_t c = 1; c <= 3; ++c) append(b, {c, 0x11, 0});
  append(b, {0xFF, 0xD9});
  return b;
}
std::vector<std::uint8_t> gif_header(std::uint16_t w, std::uint16_t h) {
  std::vector<std::uint8_t> b = {'G',
                                 'I',
                                 'F',
                                 '8',
                                 '9',
                                 'a',
                                 std::uint8_t(w),
                                 std::uint8_t(w >> 8),
                                 std::uint8_t(h),
                                 std::uint8_t(h >> 8),
                                 0,
                                 0,
                                 0};
  append(b, {0x2C, 0, 0, 0, 0, std::uint8_t(w), std::uint8_t(w >> 8), std::uint8_t(h),
             std::uint8_t(h >> 8), 0, 2, 1, 0, 0, 0x3B});
  return b;
}
std::vector<std::uint8_t> bmp_header(std::uint32_t w, std::uint32_t h) {
  std::vector<std::uint8_t> b = {'B', 'M'};
  append(b, le32(54 + 64));
  append(b, le32(0));
  append(b, le32(54));
  append(b, le32(40));
  append(b, le32(w));
  append(b, le32(h));
  append(b, {1, 0, 24, 0});
  b.resize(54 + 64, 0);
  return b;
}
std::vector<std::uint8_t> webp_lossless_header(std::uint32_t w, std::uint32_t h) {
  // VP8L: signature 0x2F, then 14-bit width-1 and height-1, alpha bit, 3-bit version 0.
  const std::uint32_t bits = (w - 1) | ((h - 1) << 14);
  std::vector<std::uint8_t> vp8l = {0x2F};
  append(vp8l, le32(bits));
  vp8l.resize(vp8l.size() + 64, 0);
  std::vector<std::uint8_t> b = {'R', 'I', 'F', 'F'};
  append(b, le32(std::uint32_t(4 + 8 + vp8l.size())));
  append(b, {'W', 'E', 'B', 'P', 'V', 'P', '8', 'L'});
  append(b, le32(std::uint32_t(vp8l.size())));
  append(b, vp8l);
  return b;
}

TEST(ImageDecode, BmpRowsComeOutTopFirstWhicheverWayTheyAreStored) {
  // 2x2, 24-bit: top row red, blue; bottom row green, white. Rows are padded to 8 bytes.
  const std::vector<std::uint8_t> top = {0, 0, 255, 255, 0, 0, 0, 0};
  const std::vector<std::uint8_t> bottom = {0, 160, 0, 255, 255, 255, 0, 0};
  for (bool top_down : {false, true}) {
    SCOPED_TRACE(top_down ? "top-down" : "bottom-up");
    std::vector<std::uint8_t> bmp = bmp_header(2, top_down ? std::uint32_t(-2) : 2u);
    bmp.resize(54);
    append(bmp, top_down ? top : bottom);
    append(bmp, top_down ? bottom : top);
    auto image = decode_image(bmp);
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->at(0, 0), kRed);
    EXPECT_EQ(image->at(1, 0), kBlue);
    EXPECT_EQ(image->at(0, 1), kGreen);
    EXPECT_EQ(image->at(1, 1), 0xFFFFFFFFu);
    bmp.pop_back();
    EXPECT_FALSE(decode_image(bmp));
  }
  EXPECT_FALSE(decode_image(bmp_header(2, 0x80000000u)));  // height INT_MIN
}

TEST(ImageDecode, AbsurdDimensionsFailBeforeAnyPixelMemory) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"PNG 100000x100000", png_header(100000, 100000)},
      {"PNG 16385x1, one side too long", png_header(16385, 1)},
      {"PNG 8192x8193, too many pixels", png_header(8192, 8193)},
      {"JPEG 60000x60000", jpeg_header(60000, 60000)},
      {"GIF 65535x65535", gif_header(65535, 65535)},
      {"BMP 100000x100000", bmp_header(100000, 100000)},
      {"WebP 16384x16384", webp_lossless_header(16384, 16384)},
      {"PNG 0x5", png_header(0, 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DecodeStats stats;
    auto image = decode_image(c.bytes, {}, &stats);
    ASSERT_FALSE(image);
    EXPECT_FALSE(image.error().empty());
    EXPECT_EQ(stats.bytes_allocated, 0u);
  }
}

TEST(ImageDecode, LimitsAreCheckedBeforeDecodingEvenForValidFiles) {
  for (const Fixture& f : fixtures()) {
    SCOPED_TRACE(f.file);
    const auto bytes = read_fixture(f.file);
    DecodeStats stats;
    auto image = decode_image(bytes, DecodeLimits{f.width - 1, 1 << 20}, &stats);
    ASSERT_FALSE(image);
    EXPECT_NE(image.error().find("too large"), std::string::npos) << image.error();
    EXPECT_EQ(stats.bytes_allocated, 0u);

    stats = {};
    EXPECT_FALSE(decode_image(bytes, DecodeLimits{16384, f.width * f.height - 1}, &stats));
    EXPECT_EQ(stats.bytes_allocated, 0u);
    EXPECT_TRUE(decode_image(bytes, DecodeLimits{std::max(f.width, f.height), f.width * f.height}));
  }
}

TEST(ImageDecode, CompressionBombStopsAtTheWorkingMemoryBudget) {
  const auto bytes = read_fixture("inflate_bomb.png");  // 1x1 whose data inflates to 32 MiB
  DecodeStats stats;
  auto image = decode_image(bytes, {}, &stats);
  ASSERT_FALSE(image);
  EXPECT_LE(stats.bytes_allocated, std::size_t{17} << 20);
}

TEST(ImageDecode, HuffmanTableWithTooManyCodesIsRefusedBeforeStbReadsIt) {
  // Found by fuzzing: its code counts add up past 256, which this stb writes past an array for
  // (a crash under the sanitizers, silent corruption without).
  const auto bytes = read_fixture("huffman_overflow.jpg");
  auto info = probe_image(bytes);
  ASSERT_FALSE(info);
  EXPECT_NE(info.error().find("Huffman"), std::string::npos) << info.error();
  EXPECT_FALSE(decode_image(bytes));
}

TEST(ImageDecode, RejectsWhatIsNotAPicture) {
  const std::vector<std::vector<std::uint8_t>> inputs = {
      {}, {'h', 'e', 'l', 'l', 'o'}, {0x89, 'P', 'N', 'G'}, {'B', 'M'}, {'R', 'I', 'F', 'F'},
  };
  for (const auto& in : inputs) {
    SCOPED_TRACE(in.size());
    EXPECT_FALSE(decode_image(in));
  }
  Image wrong = Image::blank(4, 4);
  wrong.pixels.pop_back();
  EXPECT_FALSE(validate_image(wrong));
  EXPECT_FALSE(validate_image(Image::blank(0, 3)));
  EXPECT_TRUE(validate_image(Image::blank(3, 3)));
}

// A loader that serves fixtures by name and can be held shut to keep loads running.
class FakeLoader {
 public:
  zarn::Result<LoadedImage> operator()(const std::string& key) {
    {
      std::unique_lock lock(mu_);
      ++calls_[key];
      ++entered_;
      cv_.notify_all();
      cv_.wait(lock, [&] { return open_; });
    }
    if (key == "throws") throw std::runtime_error("boom");
    if (key.starts_with("drawn:")) return LoadedImage{Image::blank(7, 3)};
    if (key.starts_with("file:")) return LoadedImage{read_fixture(key.substr(5))};
    if (key == "garbage") return LoadedImage{EncodedImage{1, 2, 3, 4}};
    if (key == "late" && calls(key) > 1) return LoadedImage{read_fixture("rgba.png")};
    return zarn::make_error("nothing stored for " + key);
  }

  void set_open(bool open) {
    std::lock_guard lock(mu_);
    open_ = open;
    cv_.notify_all();
  }
  bool wait_entered(int count) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, kPatience, [&] { return entered_ >= count; });
  }
  int calls(const std::string& key) {
    std::lock_guard lock(mu_);
    return calls_[key];
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool open_ = true;
  int entered_ = 0;
  std::map<std::string, int> calls_;
};

class ImageStoreTest : public ::testing::Test {
 protected:
  ImageStore make_store(ImageStoreOptions options = {}) {
    options.wake = [this] { ++wakes_; };
    return ImageStore([this](const std::string& key) { return loader_(key); }, options);
  }
  ImageLookup settle(ImageStore& store, const std::string& key) {
    store.get(key);
    EXPECT_TRUE(store.block_until_idle(kPatience));
    return store.get(key);
  }

  FakeLoader loader_;
  std::atomic<int> wakes_{0};
};

TEST_F(ImageStoreTest, LoadsDecodesAndReportsEachOutcome) {
  ImageStore store = make_store();
  EXPECT_TRUE(store.is_idle());
  for (const char* key : {"file:rgba.png", "file:photo.jpg", "file:lossless.webp", "drawn:x",
                          "missing", "garbage", "throws"}) {
    store.get(key);
  }
  ASSERT_TRUE(store.block_until_idle(kPatience));
  EXPECT_TRUE(store.is_idle());
  EXPECT_EQ(wakes_.load(), 7);

  const struct {
    const char* key;
    ImageState state;
    int width;
  } cases[] = {
      {"file:rgba.png", ImageState::Ready, 13},
      {"file:photo.jpg", ImageState::Ready, 17},
      {"file:lossless.webp", ImageState::Ready, 12},
      {"drawn:x", ImageState::Ready, 7},
      {"missing", ImageState::Failed, 0},
      {"garbage", ImageState::Failed, 0},
      {"throws", ImageState::Failed, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const ImageLookup got = store.get(c.key);
    EXPECT_EQ(got.state, c.state);
    if (c.state == ImageState::Ready) {
      ASSERT_TRUE(got.image);
      EXPECT_EQ(got.image->width, c.width);
      EXPECT_TRUE(got.error.empty());
    } else {
      EXPECT_FALSE(got.image);
      EXPECT_FALSE(got.error.empty());
    }
  }
  EXPECT_EQ(store.cached_bytes(), (13u * 7 + 17 * 9 + 12 * 8 + 7 * 3) * 4);
}

TEST_F(ImageStoreTest, BlockUntilIdleGivesUpAtItsLimitWhileALoaderIsStuck) {
  ImageStore store = make_store();
  loader_.set_open(false);
  EXPECT_EQ(store.get("file:rgba.png").state, ImageState::Loading);
  EXPECT_EQ(store.get("file:pattern.bmp").state, ImageState::Loading);
  // Both workers are inside the loader at once.
  ASSERT_TRUE(loader_.wait_entered(2));
  EXPECT_FALSE(store.is_idle());
  EXPECT_FALSE(store.block_until_idle(30ms));
  EXPECT_EQ(store.get("file:rgba.png").state, ImageState::Loading);

  loader_.set_open(true);
  EXPECT_TRUE(store.block_until_idle(kPatience));
  EXPECT_EQ(store.get("file:rgba.png").state, ImageState::Ready);
  EXPECT_EQ(store.get("file:pattern.bmp").state, ImageState::Ready);
}

TEST_F(ImageStoreTest, AskingAgainWhileLoadingDoesNotLoadTwice) {
  ImageStore store = make_store();
  loader_.set_open(false);
  for (int i = 0; i < 50; ++i) store.get("file:rgba.png");
  loader_.set_open(true);
  ASSERT_TRUE(store.block_until_idle(kPatience));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(store.get("file:rgba.png").state, ImageState::Ready);
  EXPECT_EQ(loader_.calls("file:rgba.png"), 1);
}

TEST_F(ImageStoreTest, NothingFromTheLoaderIsRetriedButBadBytesAreNot) {
  ImageStoreOptions options;
  options.retry_after = 0ms;
  ImageStore store = make_store(options);
  store.get("late");
  ASSERT_TRUE(store.block_until_idle(kPatience));
  EXPECT_EQ(store.get("late").state, ImageState::Loading);  // failed, due again: reloading
  ASSERT_TRUE(store.block_until_idle(kPatience));
  EXPECT_EQ(store.get("late").state, ImageState::Ready);  // the content arrived meanwhile
  EXPECT_EQ(loader_.calls("late"), 2);

  EXPECT_EQ(settle(store, "garbage").state, ImageState::Failed);
  EXPECT_EQ(settle(store, "garbage").state, ImageState::Failed);
  EXPECT_EQ(loader_.calls("garbage"), 1);
}

TEST_F(ImageStoreTest, FailuresWaitForTheRetryPause) {
  ImageStoreOptions options;
  options.retry_after = std::chrono::hours(1);
  ImageStore store = make_store(options);
  EXPECT_EQ(settle(store, "late").state, ImageState::Failed);
  EXPECT_EQ(settle(store, "late").state, ImageState::Failed);
  EXPECT_EQ(loader_.calls("late"), 1);
}

TEST_F(ImageStoreTest, CacheDropsTheLeastRecentlyUsedPictureBeyondItsBudget) {
  ImageStoreOptions options;
  options.cache_bytes = 13 * 7 * 4 + 10 * 6 * 4;  // room for rgba.png and pattern.bmp
  ImageStore store = make_store(options);
  EXPECT_EQ(settle(store, "file:rgba.png").state, ImageState::Ready);
  EXPECT_EQ(settle(store, "file:pattern.bmp").state, ImageState::Ready);
  store.get("file:rgba.png");  // now the more recent of the two
  EXPECT_EQ(settle(store, "file:first_frame.gif").state, ImageState::Ready);
  EXPECT_LE(store.cached_bytes(), options.cache_bytes);

  EXPECT_EQ(store.get("file:rgba.png").state, ImageState::Ready);
  EXPECT_EQ(store.get("file:pattern.bmp").state, ImageState::Loading);  // evicted, reloads
  ASSERT_TRUE(store.block_until_idle(kPatience));
  EXPECT_EQ(loader_.calls("file:pattern.bmp"), 2);
  EXPECT_EQ(loader_.calls("file:rgba.png"), 1);
}

TEST_F(ImageStoreTest, InvalidateDropsAResultStillInFlight) {
  ImageStore store = make_store();
  loader_.set_open(false);
  store.get("file:rgba.png");
  ASSERT_TRUE(loader_.wait_entered(1));
  store.invalidate("file:rgba.png");
  loader_.set_open(true);
  ASSERT_TRUE(store.block_until_idle(kPatience));
  EXPECT_EQ(store.cached_bytes(), 0u);
  EXPECT_EQ(store.get("file:rgba.png").state, ImageState::Loading);
  ASSERT_TRUE(store.block_until_idle(kPatience));
  EXPECT_EQ(store.get("file:rgba.png").state, ImageState::Ready);
  EXPECT_EQ(loader_.calls("file:rgba.png"), 2);
}

// Reads back one device pixel of a painted ARGB32 surface.
std::uint32_t pixel(cairo_surface_t* s, int x, int y) {
  cairo_surface_flush(s);
  const unsigned char* row =
      cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
  return reinterpret_cast<const std::uint32_t*>(row)[x];
}

TEST(PaintImageCover, ScalesToCoverCropsTheMiddleAndRoundsTheCorners) {
  // 8x4: two red columns, four green, two blue. Covering a 20x20 square scales it by 5 and
  // crops a quarter from each side, so only green shows.
  Image image = Image::blank(8, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      image.pixels[std::size_t(y * 8 + x)] = x < 2 ? kRed : x < 6 ? kGreen : kBlue;
    }
  }
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40);
  cairo_t* cr = cairo_create(target);
  {
    TextRenderer text;
    Painter painter(cr, 1.0, text);
    image_store::paint_image_cover(painter, image, Rect::from_xywh(10, 10, 20, 20), 6);
  }
  cairo_destroy(cr);

  const struct {
    int x, y;
    std::uint32_t argb;
  } cases[] = {
      {20, 20, kGreen}, {13, 20, kGreen}, {26, 20, kGreen},  // crop leaves no red or blue
      {20, 10, kGreen}, {20, 29, kGreen},                    // covers top to bottom
      {10, 10, 0},      {29, 29, 0},                         // rounded corners stay clear
      {5, 20, 0},       {35, 20, 0},      {20, 35, 0},       // nothing outside the rect
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    expect_near(pixel(target, c.x, c.y), c.argb, 8);
  }
  cairo_surface_destroy(target);
}

}  // namespace
}  // namespace zarn_ui
