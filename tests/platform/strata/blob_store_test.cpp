#include "platform/strata/blob_store.h"

#include <gtest/gtest.h>

#include "platform/strata/fs_blob_store.h"
#include "platform/strata/temp_dir.h"

namespace strata::blobstore {
namespace {

class InstalledStore : public ::testing::Test {
 protected:
  void TearDown() override { set_store(nullptr); }
  zarn_test::TempDir dir_;
};

TEST_F(InstalledStore, WithoutAStoreEveryOperationFails) {
  set_store(nullptr);
  const Bytes b{1, 2, 3};
  const std::string id = content_id_of(b);
  auto put_result = put(b);
  ASSERT_FALSE(put_result);
  EXPECT_EQ(put_result.error(), "no content store is installed");
  EXPECT_FALSE(put_checked(id, b));
  EXPECT_FALSE(put_hashed(HashedBytes::of(b)));
  EXPECT_FALSE(matches(HashedBytes::of(b)));
  EXPECT_FALSE(get(id));
  EXPECT_FALSE(has(id));
  EXPECT_EQ(state(id), BlobState::Unavailable);
  EXPECT_FALSE(evict_unreferenced({}));
}

TEST_F(InstalledStore, ModuleFunctionsReachTheInstalledStore) {
  auto fs_store = std::make_shared<FsBlobStore>(dir_.path(), 1000, 10000, 10, 100);
  set_store(fs_store);
  EXPECT_EQ(store().get(), fs_store.get());

  const Bytes b{'h', 'i'};
  auto id = put(b);
  ASSERT_TRUE(id) << id.error();
  EXPECT_TRUE(fs_store->has(*id));
  EXPECT_TRUE(has(*id));
  EXPECT_EQ(state(*id), BlobState::Present);
  auto got = get(*id);
  ASSERT_TRUE(got && got->has_value());
  EXPECT_EQ(**got, b);
  const HashedBytes hashed = HashedBytes::of(Bytes{'h', 'o'});
  EXPECT_EQ(put_hashed(hashed).value(), hashed.id());
  EXPECT_TRUE(matches(hashed).value());
  EXPECT_TRUE(fs_store->has(hashed.id()));

  // A worker's handle keeps its store alive after the store is uninstalled.
  auto handle = store();
  set_store(nullptr);
  EXPECT_FALSE(has(*id));
  EXPECT_TRUE(handle->has(*id));
}

TEST(ContentId, NormalisesOnlyWellFormedIds) {
  const std::string lower = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  EXPECT_EQ(normalize_content_id(lower), lower);
  EXPECT_EQ(
      normalize_content_id("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"),
      lower);
  for (std::string_view bad : {std::string_view(lower).substr(1), std::string_view("..")}) {
    EXPECT_FALSE(normalize_content_id(bad));
  }
}

}  // namespace
}  // namespace strata::blobstore
