#include "media/media_frame.h"

#include <gtest/gtest.h>

#include "media/frame_stream.h"

namespace chat::media {
namespace {

std::vector<std::uint8_t> hex(std::initializer_list<int> bytes) {
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

MediaFrame example_frame() {
  MediaFrame f;
  f.source = "u1";
  f.kind = MediaKind::Microphone;
  f.sequence = 1;
  f.timestamp = {0, 40'000'000};
  f.payload = {0xAA, 0xBB, 0xCC};
  return f;
}

TEST(MediaFrame, ExampleEncodesToExactBytesAndStreamPrefix) {
  const auto expected = hex({0x00,                                      // kind
                             0x01, 0,    0,   0,   0,    0,    0,   0,  // sequence
                             0x28, 0,    0,   0,   0,    0,    0,   0,  // 40 ms
                             0x02, 0x00, 'u', '1',                      // source
                             0x03, 0,    0,   0,   0xAA, 0xBB, 0xCC});  // payload
  auto encoded = encode_frame(example_frame());
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded.value(), expected);
  EXPECT_EQ(encoded->size(), 28u);
  EXPECT_EQ(encoded->capacity(), 28u);

  std::vector<std::uint8_t> stream;
  append_stream_record(stream, encoded.value());
  ASSERT_EQ(stream.size(), 32u);
  EXPECT_EQ(hex({stream[0], stream[1], stream[2], stream[3]}), hex({0x1c, 0, 0, 0}));

  auto decoded = decode_frame(expected);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, example_frame());
}

TEST(MediaFrame, KindsAndLabels) {
  EXPECT_EQ(media_kind_label(MediaKind::Microphone), "Microphone");
  EXPECT_EQ(media_kind_label(MediaKind::Camera), "Camera");
  EXPECT_EQ(media_kind_label(MediaKind::ScreenShare), "Screen sharing");
  EXPECT_EQ(media_kind_from_byte(2), MediaKind::ScreenShare);
  EXPECT_FALSE(media_kind_from_byte(3));
}

TEST(MediaFrame, ValidityAndEncodeRefusal) {
  struct Case {
    const char* name;
    std::size_t source_len;
    std::size_t payload_len;
    MediaDuration ts;
    bool valid;
  };
  const Case cases[] = {
      {"empty source", 0, 0, {}, false},
      {"1-byte source", 1, 0, {}, true},
      {"256-byte source", 256, 0, {}, true},
      {"257-byte source", 257, 0, {}, false},
      {"payload at limit", 1, kMaxPayloadBytes, {}, true},
      {"payload over limit", 1, kMaxPayloadBytes + 1, {}, false},
      {"largest millisecond timestamp", 1, 0, {UINT64_MAX / 1000, 615'000'000}, true},
      {"timestamp overflows milliseconds", 1, 0, {UINT64_MAX / 1000, 616'000'000}, false},
      {"seconds overflow milliseconds", 1, 0, {UINT64_MAX / 1000 + 1, 0}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MediaFrame f;
    f.source.assign(c.source_len, 's');
    f.payload.assign(c.payload_len, 0x5A);
    f.timestamp = c.ts;
    EXPECT_EQ(is_valid(f), c.valid);
    auto encoded = encode_frame(f);
    EXPECT_EQ(encoded.has_value(), c.valid);
    if (!encoded) continue;
    EXPECT_EQ(encoded->size(), 23 + c.source_len + c.payload_len);
    auto back = decode_frame(encoded.value());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->payload.size(), c.payload_len);
  }
}

TEST(MediaFrame, TimestampTravelsAsWholeMilliseconds) {
  MediaFrame f = example_frame();
  f.timestamp = {1, 1'500'000};  // 1.0015 s
  auto encoded = encode_frame(f);
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded.value()[9], 0xE9);  // 1001 = 0x3E9
  EXPECT_EQ(encoded.value()[10], 0x03);
  auto back = decode_frame(encoded.value());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->timestamp, (MediaDuration{1, 1'000'000}));
}

TEST(MediaFrame, DecoderRejectsEveryMalformedShape) {
  const auto good = encode_frame(example_frame()).value();
  auto with = [&](auto edit) {
    auto b = good;
    edit(b);
    return b;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"kind 3", with([](auto& b) { b[0] = 3; })},
      {"kind 255", with([](auto& b) { b[0] = 255; })},
      {"shorter than 19", std::vector<std::uint8_t>(good.begin(), good.begin() + 18)},
      {"source runs past end", std::vector<std::uint8_t>(good.begin(), good.begin() + 20)},
      {"source length 0", with([](auto& b) { b[17] = 0; })},
      {"source length 257", with([](auto& b) { b[17] = 0x01, b[18] = 0x01; })},
      {"source not UTF-8", with([](auto& b) { b[19] = 0xC0; })},
      {"surrogate in source", with([](auto& b) {
         b[17] = 3;
         b.insert(b.begin() + 19, 0xED);
         b[20] = 0xA0, b[21] = 0x80;
       })},
      {"no room for payload length", std::vector<std::uint8_t>(good.begin(), good.begin() + 22)},
      {"payload length over limit", with([](auto& b) {
         b[21] = 0x20, b[22] = 0x00;
         b[23] = 0;
       })},
      {"payload runs past end", with([](auto& b) { b.pop_back(); })},
      {"one trailing byte", with([](auto& b) { b.push_back(0); })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(decode_frame(c.bytes));
  }
  EXPECT_TRUE(decode_frame(good));
}

TEST(MediaFrame, DecoderRejectsOversizedPayloadEvenWhenBytesArePresent) {
  MediaFrame f = example_frame();
  f.payload.assign(kMaxPayloadBytes, 1);
  auto bytes = encode_frame(f).value();
  bytes.push_back(2);
  const std::uint32_t m = kMaxPayloadBytes + 1;
  for (int i = 0; i < 4; ++i) bytes[21 + i] = static_cast<std::uint8_t>(m >> (8 * i));
  EXPECT_FALSE(decode_frame(bytes));
}

TEST(MediaFrame, Utf8Validation) {
  struct Case {
    std::string text;
    bool valid;
  };
  const Case cases[] = {
      {"plain", true},         {"caf\xC3\xA9", true},       {"\xF0\x9F\x98\x80", true},
      {"\xC3", false},         {"\xC0\xAF", false},         {"\xE0\x80\xAF", false},
      {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false}, {"\x80", false},
      {"\xFF", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(is_valid_utf8(c.text), c.valid);
  }
}

}  // namespace
}  // namespace chat::media
