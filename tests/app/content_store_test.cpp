#include "app/content_store.h"

#include <gtest/gtest.h>

#include "platform/strata/temp_dir.h"

namespace chat::app {
namespace {

namespace blob = strata::blobstore;

TEST(ContentStore, InstalledStoreTakesAttachmentsUpTo32MiB) {
  zarn_test::TempDir dir;
  blob::set_store(make_content_store(dir.path()));
  blob::Bytes largest(kStoreMaxBlobBytes, 0x5a);
  auto id = blob::put(largest);
  ASSERT_TRUE(id) << id.error();
  auto back = blob::get(*id);
  ASSERT_TRUE(back && back->has_value());
  EXPECT_EQ((*back)->size(), largest.size());

  largest.push_back(0);
  EXPECT_FALSE(blob::put(largest));
  blob::set_store(nullptr);
}

}  // namespace
}  // namespace chat::app
