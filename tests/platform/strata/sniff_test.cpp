#include "platform/strata/sniff.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace strata::blobstore {
namespace {

Bytes bytes_of(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

void be16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}
void be32(Bytes& b, std::uint32_t v) {
  be16(b, v >> 16);
  be16(b, v & 0xffff);
}
void le16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void le24(Bytes& b, std::uint32_t v) {
  le16(b, v & 0xffff);
  b.push_back(static_cast<std::uint8_t>(v >> 16));
}
void le32(Bytes& b, std::uint32_t v) {
  le16(b, v & 0xffff);
  le16(b, v >> 16);
}
void append(Bytes& b, std::string_view s) {
  b.insert(b.end(), s.begin(), s.end());
}

// Each builder stops right after the last byte the header needs, so every shorter prefix is
// a truncated header.
Bytes png(std::uint32_t w, std::uint32_t h) {
  Bytes b = bytes_of("\x89PNG\r\n\x1a\n");
  be32(b, 13);
  append(b, "IHDR");
  be32(b, w);
  be32(b, h);
  return b;
}

Bytes gif(std::string_view version, std::uint32_t w, std::uint32_t h) {
  Bytes b = bytes_of(version);
  le16(b, w);
  le16(b, h);
  return b;
}

Bytes jpeg(std::uint8_t sof, std::uint32_t w, std::uint32_t h) {
  Bytes b{0xff, 0xd8};
  // APP0 JFIF segment, a DHT (0xC4 must not be taken as a frame) and fill bytes.
  b.insert(b.end(), {0xff, 0xe0});
  be16(b, 16);
  append(b, "JFIF");
  b.insert(b.end(), {0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  b.insert(b.end(), {0xff, 0xc4});
  be16(b, 4);
  b.insert(b.end(), {0x12, 0x34});
  b.insert(b.end(), {0xff, 0xff, 0xff, sof});
  be16(b, 17);
  b.push_back(8);
  be16(b, h);
  be16(b, w);
  return b;
}

Bytes riff(std::string_view fourcc) {
  Bytes b = bytes_of("RIFF");
  le32(b, 1000);
  append(b, "WEBP");
  append(b, fourcc);
  le32(b, 900);
  return b;
}

Bytes webp_lossy(std::uint32_t w, std::uint32_t h) {
  Bytes b = riff("VP8 ");
  b.insert(b.end(), {0x10, 0x02, 0x00, 0x9d, 0x01, 0x2a});
  le16(b, w | 0x4000);  // scale bits above the 14-bit size must be ignored
  le16(b, h);
  return b;
}

Bytes webp_lossless(std::uint32_t w, std::uint32_t h) {
  Bytes b = riff("VP8L");
  b.push_back(0x2f);
  le32(b, (w - 1) | ((h - 1) << 14));
  return b;
}

Bytes webp_extended(std::uint32_t w, std::uint32_t h) {
  Bytes b = riff("VP8X");
  le32(b, 0);
  le24(b, w - 1);
  le24(b, h - 1);
  return b;
}

Bytes bmp(std::uint32_t header_size, std::int32_t w, std::int32_t h) {
  Bytes b = bytes_of("BM");
  le32(b, 0);
  le32(b, 0);
  le32(b, 54);
  le32(b, header_size);
  if (header_size == 12) {
    le16(b, static_cast<std::uint32_t>(w));
    le16(b, static_cast<std::uint32_t>(h));
  } else {
    le32(b, static_cast<std::uint32_t>(w));
    le32(b, static_cast<std::uint32_t>(h));
  }
  return b;
}

struct Case {
  const char* name;
  Bytes bytes;
  Sniffed want;
};

std::vector<Case> pictures() {
  return {
      {"png", png(640, 360), {PictureKind::Png, 640, 360}},
      {"png wide", png(20000, 1), {PictureKind::Png, 20000, 1}},
      {"gif87a", gif("GIF87a", 3, 65535), {PictureKind::Gif, 3, 65535}},
      {"gif89a", gif("GIF89a", 320, 200), {PictureKind::Gif, 320, 200}},
      {"jpeg baseline", jpeg(0xc0, 1024, 768), {PictureKind::Jpeg, 1024, 768}},
      {"jpeg progressive", jpeg(0xc2, 17, 4000), {PictureKind::Jpeg, 17, 4000}},
      {"webp lossy", webp_lossy(620, 400), {PictureKind::Webp, 620, 400}},
      {"webp lossless", webp_lossless(16384, 1), {PictureKind::Webp, 16384, 1}},
      {"webp extended", webp_extended(16777216, 2), {PictureKind::Webp, 16777216, 2}},
      {"bmp", bmp(40, 800, 600), {PictureKind::Bmp, 800, 600}},
      {"bmp top-down", bmp(124, 800, -600), {PictureKind::Bmp, 800, 600}},
      {"bmp core header", bmp(12, 64, 32), {PictureKind::Bmp, 64, 32}},
  };
}

TEST(Sniff, RecognisesEachFormatAndItsSize) {
  for (const auto& c : pictures()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(sniff(c.bytes), c.want);
    // Pixel data after the header changes nothing.
    Bytes longer = c.bytes;
    longer.resize(longer.size() + 100, 0xab);
    EXPECT_EQ(sniff(longer), c.want);
  }
}

TEST(Sniff, EveryTruncatedHeaderIsNotAPicture) {
  for (const auto& c : pictures()) {
    for (std::size_t n = 0; n < c.bytes.size(); ++n) {
      SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(n));
      EXPECT_EQ(sniff(ByteView(c.bytes).first(n)), Sniffed{});
    }
  }
}

TEST(Sniff, MalformedHeadersAreNotPictures) {
  Bytes png_other_chunk = png(10, 10);
  std::copy_n("IDAT", 4, png_other_chunk.begin() + 12);
  Bytes jpeg_scan_first{0xff, 0xd8, 0xff, 0xda, 0x00, 0x08, 1, 2, 3, 4, 5, 6, 0xff, 0xc0};
  Bytes jpeg_bad_length = jpeg(0xc0, 10, 10);
  jpeg_bad_length[4] = 0x00;  // APP0 length 0x0010 -> 0x0000
  jpeg_bad_length[5] = 0x01;
  Bytes jpeg_no_marker = jpeg(0xc0, 10, 10);
  jpeg_no_marker[2] = 0x00;
  Bytes vp8_inter = webp_lossy(10, 10);
  vp8_inter[20] |= 1;
  Bytes vp8l_bad_signature = webp_lossless(10, 10);
  vp8l_bad_signature[20] = 0x2e;
  Bytes riff_not_webp = webp_lossy(10, 10);
  std::copy_n("WAVE", 4, riff_not_webp.begin() + 8);

  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"empty", {}},
      {"text", bytes_of("hello, this is not a picture at all")},
      {"png zero width", png(0, 10)},
      {"png height over 2^31", png(10, 0x80000000u)},
      {"png first chunk not IHDR", png_other_chunk},
      {"gif wrong version", gif("GIF90a", 10, 10)},
      {"gif zero height", gif("GIF89a", 10, 0)},
      {"jpeg scan before frame", jpeg_scan_first},
      {"jpeg segment length below 2", jpeg_bad_length},
      {"jpeg garbage between segments", jpeg_no_marker},
      {"jpeg zero height", jpeg(0xc0, 10, 0)},
      {"webp inter frame", vp8_inter},
      {"webp lossless bad signature", vp8l_bad_signature},
      {"riff but not webp", riff_not_webp},
      {"webp unknown chunk", riff("VP9 ")},
      {"bmp negative width", bmp(40, -5, 10)},
      {"bmp zero height", bmp(40, 5, 0)},
      {"bmp most negative height", bmp(40, 5, INT32_MIN)},
      {"bmp unknown header size", bmp(20, 5, 5)},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(sniff(bytes), Sniffed{});
  }
}

TEST(Sniff, RandomBytesBehindMagicNeverGiveZeroSizedPictures) {
  std::mt19937 rng(7);
  const std::vector<Bytes> magics = {bytes_of("\x89PNG\r\n\x1a\n"),
                                     {0xff, 0xd8},
                                     bytes_of("GIF89a"),
                                     bytes_of("RIFF\x10\0\0\0WEBPVP8X"),
                                     bytes_of("BM")};
  for (int i = 0; i < 20000; ++i) {
    Bytes b = magics[static_cast<std::size_t>(i) % magics.size()];
    std::size_t extra = rng() % 64;
    for (std::size_t k = 0; k < extra; ++k)
      b.push_back(static_cast<std::uint8_t>(rng() % 4 == 0 ? 0xff : rng()));
    Sniffed s = sniff(b);
    ASSERT_EQ(s.is_picture(), s.width > 0 && s.height > 0);
    ASSERT_EQ(s.is_picture(), s.width > 0 || s.height > 0);
  }
}

}  // namespace
}  // namespace strata::blobstore
