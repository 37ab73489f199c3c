#include "platform/strata/content_id.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace strata::blobstore {
namespace {

ByteView view_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

struct Vector {
  const char* label;
  std::string message;
  const char* sha256;
};

// FIPS 180-2 examples and the usual extras: ids must stay the SHA-256 digests they always were,
// whichever library computes them.
std::vector<Vector> known_vectors() {
  return {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"896 bits",
       "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
       "lmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {"a million a", std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
}

TEST(ContentId, IsTheSha256OfTheBytes) {
  for (const auto& v : known_vectors()) {
    SCOPED_TRACE(v.label);
    EXPECT_EQ(content_id_of(view_of(v.message)), v.sha256);
  }
}

TEST(ContentHasher, PiecesGiveTheSameIdAsTheWhole) {
  // Splits around the 64-byte block and at odd places, so partial blocks are carried over.
  const std::vector<std::size_t> pieces = {1, 3, 55, 56, 63, 64, 65, 127, 4096};
  for (const auto& v : known_vectors()) {
    for (std::size_t piece : pieces) {
      SCOPED_TRACE(std::string(v.label) + ", pieces of " + std::to_string(piece));
      ContentHasher hasher;
      const ByteView all = view_of(v.message);
      for (std::size_t at = 0; at < all.size(); at += piece) {
        hasher.update(all.subspan(at, std::min(piece, all.size() - at)));
      }
      EXPECT_EQ(hasher.finish(), v.sha256);
    }
  }
}

TEST(ContentHasher, StartsOverAfterFinish) {
  ContentHasher hasher;
  hasher.update(view_of("something before"));
  (void)hasher.finish();
  hasher.update(view_of("abc"));
  EXPECT_EQ(hasher.finish(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hasher.finish(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace strata::blobstore
