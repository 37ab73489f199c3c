#include "media/frame_stream.h"

#include <gtest/gtest.h>

#include "media/test_frames.h"

namespace chat::media {
namespace {

using testing::make_frame;

std::vector<std::uint8_t> record(const MediaFrame& f) {
  std::vector<std::uint8_t> out;
  append_stream_record(out, encode_frame(f).value());
  return out;
}

std::vector<std::uint8_t> prefix_only(std::uint32_t length) {
  const auto p = stream_length_prefix(length);
  return {p.begin(), p.end()};
}

std::vector<MediaFrame> read_all(FrameStreamReader& r) {
  std::vector<MediaFrame> out;
  for (;;) {
    auto next = r.next();
    if (!next || !next.value()) break;
    out.push_back(std::move(*next.value()));
  }
  return out;
}

TEST(FrameStreamReader, ReassemblesFramesFromAnyChunking) {
  std::vector<std::uint8_t> stream;
  std::vector<MediaFrame> frames;
  for (std::uint64_t i = 0; i < 20; ++i) {
    frames.push_back(make_frame("u" + std::to_string(i), i, i * 37));
    auto r = record(frames.back());
    stream.insert(stream.end(), r.begin(), r.end());
  }
  for (std::size_t chunk :
       {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{64}, stream.size()}) {
    SCOPED_TRACE(chunk);
    FrameStreamReader reader;
    std::vector<MediaFrame> got;
    for (std::size_t off = 0; off < stream.size(); off += chunk) {
      reader.feed({stream.data() + off, std::min(chunk, stream.size() - off)});
      for (auto& f : read_all(reader)) got.push_back(std::move(f));
    }
    EXPECT_EQ(got, frames);
    EXPECT_TRUE(reader.finish());
    EXPECT_EQ(reader.buffered(), 0u);
  }
}

TEST(FrameStreamReader, DropsMalformedRecordsOneByOne) {
  std::vector<std::uint8_t> stream;
  auto add = [&](const std::vector<std::uint8_t>& bytes) {
    stream.insert(stream.end(), bytes.begin(), bytes.end());
  };
  add(record(make_frame("u1", 1)));
  add(prefix_only(0));  // empty record
  std::vector<std::uint8_t> garbage = {9, 9, 9, 9, 9};
  append_stream_record(stream, garbage);
  auto trailing = encode_frame(make_frame("u1", 99)).value();
  trailing.push_back(0);
  append_stream_record(stream, trailing);
  add(record(make_frame("u1", 2)));

  FrameStreamReader reader;
  reader.feed(stream);
  auto got = read_all(reader);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].sequence, 1u);
  EXPECT_EQ(got[1].sequence, 2u);
  EXPECT_EQ(reader.dropped(), 3u);
  EXPECT_TRUE(reader.finish());
}

TEST(FrameStreamReader, LengthLimitIsInclusive) {
  // 2,097,431 is the largest frame there is: it is read (and, being garbage here, dropped).
  FrameStreamReader at_limit;
  auto bytes = prefix_only(static_cast<std::uint32_t>(kMaxStreamRecordBytes));
  bytes.resize(bytes.size() + kMaxStreamRecordBytes, 0xFF);
  at_limit.feed(bytes);
  auto r = at_limit.next();
  ASSERT_TRUE(r);
  EXPECT_FALSE(r.value());
  EXPECT_EQ(at_limit.dropped(), 1u);
  EXPECT_TRUE(at_limit.finish());

  // The largest valid frame itself goes through.
  MediaFrame biggest = make_frame(std::string(256, 'b'), 7, kMaxPayloadBytes);
  auto rec = record(biggest);
  ASSERT_EQ(rec.size(), 4 + kMaxStreamRecordBytes);
  FrameStreamReader big;
  big.feed(rec);
  auto got = read_all(big);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], biggest);

  FrameStreamReader over;
  over.feed(record(make_frame("u1", 1)));
  over.feed(prefix_only(2'097'432));
  over.feed(record(make_frame("u1", 2)));
  auto first = over.next();
  ASSERT_TRUE(first && first.value());
  EXPECT_EQ(first.value()->sequence, 1u);
  for (int i = 0; i < 2; ++i) {
    auto err = over.next();
    ASSERT_FALSE(err);
    EXPECT_EQ(err.error(), "media frame too large: 2097432");
  }
  // Nothing after the bad length is ever read, and nothing is buffered for it.
  over.feed(record(make_frame("u1", 3)));
  EXPECT_FALSE(over.next());
  EXPECT_EQ(over.buffered(), 0u);
  EXPECT_FALSE(over.finish());
}

TEST(FrameStreamReader, OversizedLengthFailsBeforeItsBytesArrive) {
  FrameStreamReader reader;
  reader.feed(prefix_only(UINT32_MAX));
  auto r = reader.next();
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), "media frame too large: 4294967295");
}

TEST(FrameStreamReader, HalfFrameAtEndOfStreamIsReported) {
  auto rec = record(make_frame("u1", 1, 100));
  for (std::size_t cut : {std::size_t{2}, std::size_t{4}, rec.size() - 1}) {
    SCOPED_TRACE(cut);
    FrameStreamReader reader;
    reader.feed({rec.data(), cut});
    EXPECT_TRUE(read_all(reader).empty());
    auto end = reader.finish();
    ASSERT_FALSE(end);
    EXPECT_EQ(end.error(), "media stream ended inside a frame");
  }
}

TEST(StreamRecord, EncodesIntoAReusedBufferExactlyAsPrefixPlusFrame) {
  // The buffer comes back from earlier, larger frames: stale bytes must not survive.
  std::vector<std::uint8_t> buf(5000, 0xEE);
  for (const MediaFrame& f : {make_frame("u1", 1, 3), make_frame("u_böb", 2, 0),
                              make_frame(std::string(256, 's'), 3, 4096)}) {
    SCOPED_TRACE(f.sequence);
    ASSERT_TRUE(encode_stream_record(f, buf));
    EXPECT_EQ(buf, record(f));
  }
  ASSERT_FALSE(encode_stream_record(make_frame("", 4), buf));
  EXPECT_TRUE(buf.empty());
}

}  // namespace
}  // namespace chat::media
