#include "platform/strata/hashed_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace strata::blobstore {
namespace {

Bytes pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 131 + (i >> 8));
  return b;
}

Bytes copy_of(ByteView v) {
  return Bytes(v.begin(), v.end());
}

// Writes `source` through the writer in pieces of at most `piece` bytes, the way a read loop
// fills it, until the source ends or the writer offers no more room.
HashedBytes write_through(HashedBytesWriter& writer, const Bytes& source, std::size_t piece) {
  std::size_t at = 0;
  while (at < source.size()) {
    auto room = writer.space(piece);
    if (room.empty()) break;
    const std::size_t n = std::min(room.size(), source.size() - at);
    std::memcpy(room.data(), source.data() + at, n);
    writer.commit(n);
    at += n;
  }
  return writer.finish();
}

TEST(HashedBytesWriter, KeepsEveryByteAndNamesItByItsContentId) {
  struct Case {
    const char* label;
    std::size_t capacity;
    std::size_t limit;
    std::size_t size;
    std::size_t piece;
  };
  const std::vector<Case> cases = {
      {"exact capacity", 5000, 5000, 5000, 1000},
      {"capacity larger than the bytes", 8192, 8192, 5000, 4096},
      {"grows from nothing", 0, 1 << 20, 5000, 7},
      {"grows from a wrong guess", 10, 1 << 20, 100000, 4096},
      {"pieces straddling a growth", 100, 1 << 20, 1000, 64},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const Bytes source = pattern(c.size);
    HashedBytesWriter writer(c.capacity, c.limit);
    const HashedBytes blob = write_through(writer, source, c.piece);
    EXPECT_EQ(copy_of(blob.bytes()), source);
    EXPECT_EQ(blob.size(), source.size());
    EXPECT_EQ(blob.id(), content_id_of(source));
  }
}

TEST(HashedBytesWriter, NeverHoldsMoreThanItsLimit) {
  const Bytes source = pattern(1000);
  for (std::size_t capacity : {std::size_t{0}, std::size_t{10}, std::size_t{999}}) {
    SCOPED_TRACE(capacity);
    HashedBytesWriter writer(capacity, 101);
    const HashedBytes blob = write_through(writer, source, 64);
    EXPECT_EQ(blob.size(), 101u);
    EXPECT_EQ(copy_of(blob.bytes()), Bytes(source.begin(), source.begin() + 101));
    EXPECT_EQ(blob.id(), content_id_of(blob.bytes()));
  }
}

TEST(HashedBytesWriter, OnlyCommittedBytesCount) {
  HashedBytesWriter writer(100, 100);
  auto room = writer.space(50);
  ASSERT_EQ(room.size(), 50u);
  std::memset(room.data(), 'x', room.size());
  writer.commit(20);  // a short read: the rest of the span is not part of the blob
  room = writer.space(50);
  ASSERT_EQ(room.size(), 50u);
  std::memset(room.data(), 'y', room.size());
  writer.commit(0);
  const HashedBytes blob = writer.finish();
  EXPECT_EQ(copy_of(blob.bytes()), Bytes(20, 'x'));
  EXPECT_EQ(blob.id(), content_id_of(Bytes(20, 'x')));
}

TEST(HashedBytes, CopiesAndHashes) {
  const Bytes source = pattern(300);
  const HashedBytes blob = HashedBytes::of(source);
  EXPECT_EQ(copy_of(blob.bytes()), source);
  EXPECT_EQ(blob.id(), content_id_of(source));

  const HashedBytes empty;
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(empty.id(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HashedBytes::of({}).id(), empty.id());
}

}  // namespace
}  // namespace strata::blobstore
