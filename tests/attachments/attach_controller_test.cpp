#include "attachments/attach_controller.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <regex>
#include <vector>

#include "attachments/support.h"
#include "platform/strata/fs_blob_store.h"
#include "platform/strata/temp_dir.h"

namespace chat::attachments {
namespace {

namespace fs = std::filesystem;
namespace blobstore = strata::blobstore;
using testing::MemoryStore;
using testing::png_header;
using testing::Waker;
using testing::write_bytes;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr std::int64_t kNow = 1700000000;

class AttachControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder());
    store_ = std::make_shared<blobstore::FsBlobStore>(
        dir_.path() / "store", std::uint64_t{64} << 20, std::uint64_t{1} << 30, 1000, 10000);
    blobstore::set_store(store_);
  }
  void TearDown() override { blobstore::set_store(nullptr); }

  fs::path folder() const { return dir_.path() / "workspace"; }

  std::unique_ptr<AttachController> make(std::uint64_t first_listing = 0,
                                         std::uint64_t first_import = 0) {
    AttachOptions o;
    o.folder = folder();
    o.wake = waker_.callback();
    o.now = [] { return std::chrono::system_clock::time_point(std::chrono::seconds(kNow)); };
    o.first_listing_request = first_listing;
    o.first_import_request = first_import;
    return std::make_unique<AttachController>(std::move(o));
  }

  // Waits for the next `n` results and drains them.
  Drained await(AttachController& c, int n, WriteAccess access = WriteAccess::Granted) {
    wakes_ += n;
    EXPECT_TRUE(waker_.wait_for(wakes_)) << "worker never answered";
    return c.drain(access, "u_me");
  }

  zarn_test::TempDir dir_;
  std::shared_ptr<blobstore::BlobStore> store_;
  Waker waker_;  // outlives the controllers, whose workers call it
  int wakes_ = 0;
};

TEST_F(AttachControllerTest, ImportPostsTheStoredBytes) {
  const std::string bytes = png_header(800, 600) + std::string(1000, 'p');
  struct Case {
    const char* name;
    document::Attachment (*want)(const std::string& name, const std::string& blob,
                                 std::uint64_t size);
  };
  const std::vector<Case> cases = {
      {"clip.MP4",
       [](const std::string& n, const std::string& b, std::uint64_t s) -> document::Attachment {
         return document::VideoAttachment{n, b, 0, 0, s};
       }},
      {"photo.png",
       [](const std::string& n, const std::string& b, std::uint64_t) -> document::Attachment {
         return document::ImageAttachment{n, b, 800, 600};
       }},
      {"photo.dat",
       [](const std::string& n, const std::string& b, std::uint64_t) -> document::Attachment {
         return document::ImageAttachment{n, b, 800, 600};
       }},
  };
  auto c = make();
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    write_bytes(folder() / k.name, bytes);
    ASSERT_EQ(c->start_import("c_general", (folder() / k.name).string(), WriteAccess::Granted),
              ImportStart::Accepted);
    EXPECT_EQ(c->status(), "Preparing attachment\u2026");
    ASSERT_TRUE(c->pending_import().has_value());
    EXPECT_EQ(c->pending_import()->path, (folder() / k.name).string());

    const Drained d = await(*c, 1);
    ASSERT_TRUE(d.post.has_value()) << c->status().value_or("");
    EXPECT_EQ(c->status(), "Attachment shared");
    EXPECT_FALSE(c->pending_import().has_value());

    const actions::SendMessage& m = *d.post;
    const std::string blob = blobstore::content_id_of(testing::bytes_of(bytes));
    EXPECT_EQ(m.channel, "c_general");
    EXPECT_TRUE(std::regex_match(m.id, std::regex("m_[0-9a-f]{32}"))) << m.id;
    EXPECT_EQ(m.author, "u_me");
    EXPECT_EQ(m.ts, kNow);
    EXPECT_EQ(m.text, "");
    EXPECT_EQ(m.parent, std::nullopt);
    EXPECT_TRUE(m.mentions.empty());
    EXPECT_EQ(m.reference, std::nullopt);
    EXPECT_EQ(m.attachment, k.want(k.name, blob, bytes.size()));
    auto stored = blobstore::get(blob);
    ASSERT_TRUE(stored.has_value() && stored.value().has_value());
    EXPECT_EQ(*stored.value(), testing::bytes_of(bytes));
  }
}

TEST_F(AttachControllerTest, FailedImportReportsTheReason) {
  write_bytes(folder() / "empty.txt", "");
  fs::create_directory(folder() / "dir");
  struct Case {
    const char* label;
    fs::path path;
    const char* status;
  };
  const std::vector<Case> cases = {
      {"empty", folder() / "empty.txt", "Attachment import failed: file is empty"},
      {"missing", folder() / "gone.png", "Attachment import failed: file is unavailable"},
      {"directory", folder() / "dir",
       "Attachment import failed: file is not shareable or exceeds 32 MiB"},
  };
  auto c = make();
  for (const auto& k : cases) {
    SCOPED_TRACE(k.label);
    ASSERT_EQ(c->start_import("c_general", k.path.string(), WriteAccess::Granted),
              ImportStart::Accepted);
    const Drained d = await(*c, 1);
    EXPECT_FALSE(d.post.has_value());
    EXPECT_EQ(c->status(), k.status);
    EXPECT_FALSE(c->pending_import().has_value());
  }
}

TEST_F(AttachControllerTest, OneImportAtATime) {
  write_bytes(folder() / "a.txt", "a");
  write_bytes(folder() / "b.txt", "b");
  auto c = make();
  const std::string a = (folder() / "a.txt").string();
  const std::string b = (folder() / "b.txt").string();
  ASSERT_EQ(c->start_import("c_1", a, WriteAccess::Granted), ImportStart::Accepted);
  EXPECT_EQ(c->start_import("c_2", b, WriteAccess::Granted), ImportStart::Refused);
  EXPECT_EQ(c->pending_import()->path, a);
  EXPECT_EQ(c->pending_import()->request, 0u);

  // Finishing on the worker is not enough: the import is pending until drained.
  EXPECT_TRUE(waker_.wait_for(++wakes_));
  EXPECT_EQ(c->start_import("c_2", b, WriteAccess::Granted), ImportStart::Refused);

  Drained d = c->drain(WriteAccess::Granted, "u_me");
  ASSERT_TRUE(d.post.has_value());
  EXPECT_EQ(d.post->channel, "c_1");
  ASSERT_EQ(c->start_import("c_2", b, WriteAccess::Granted), ImportStart::Accepted);
  EXPECT_EQ(c->pending_import()->request, 1u);
  d = await(*c, 1);
  ASSERT_TRUE(d.post.has_value());
  EXPECT_EQ(d.post->channel, "c_2");
}

TEST_F(AttachControllerTest, WritePermissionIsCheckedAtStartAndAtDrain) {
  write_bytes(folder() / "a.txt", "a");
  const std::string a = (folder() / "a.txt").string();
  auto c = make();
  EXPECT_EQ(c->start_import("c_1", a, WriteAccess::Denied), ImportStart::Refused);
  EXPECT_FALSE(c->pending_import().has_value());
  EXPECT_EQ(c->status(), std::nullopt);

  ASSERT_EQ(c->start_import("c_1", a, WriteAccess::Granted), ImportStart::Accepted);
  const Drained d = await(*c, 1, WriteAccess::Denied);
  EXPECT_FALSE(d.post.has_value());
  EXPECT_EQ(c->status(), "Attachment import cancelled: permission changed");
  EXPECT_FALSE(c->pending_import().has_value());
}

TEST_F(AttachControllerTest, StaleResultsAreDiscarded) {
  auto held = std::make_shared<MemoryStore>();
  held->hold();
  blobstore::set_store(held);
  write_bytes(folder() / "a.txt", "a");
  auto c = make();
  // Released before the controller joins its workers, even when an assertion fails.
  struct Release {
    MemoryStore& s;
    ~Release() { s.release(); }
  } release{*held};

  const ImportedFile forged{std::string(64, 'f'), "forged.txt", 1, false, 0, 0};
  // A result with no import pending.
  ASSERT_TRUE(c->channel().offer(ImportResult{7, forged}));
  Drained d = await(*c, 1);
  EXPECT_FALSE(d.post.has_value());
  EXPECT_EQ(c->status(), "Attachment import discarded: stale result");

  // A result for another request while one is pending leaves the pending import alone.
  ASSERT_EQ(c->start_import("c_1", (folder() / "a.txt").string(), WriteAccess::Granted),
            ImportStart::Accepted);
  const std::uint64_t pending = c->pending_import()->request;
  ASSERT_TRUE(c->channel().offer(ImportResult{pending + 1, forged}));
  d = await(*c, 1);
  EXPECT_FALSE(d.post.has_value());
  EXPECT_EQ(c->status(), "Attachment import discarded: stale result");
  ASSERT_TRUE(c->pending_import().has_value());
  EXPECT_EQ(c->pending_import()->request, pending);

  held->release();
  d = await(*c, 1);
  ASSERT_TRUE(d.post.has_value());
  EXPECT_EQ(std::get<document::FileAttachment>(*d.post->attachment).blob,
            blobstore::content_id_of(testing::bytes_of("a")));
  EXPECT_EQ(c->status(), "Attachment shared");
}

TEST_F(AttachControllerTest, RequestCountersRunOut) {
  write_bytes(folder() / "a.txt", "a");
  const std::string a = (folder() / "a.txt").string();
  auto c = make(kMax, kMax - 1);

  c->open();
  EXPECT_EQ(c->status(), "Attachment picker unavailable: request counter exhausted");
  EXPECT_FALSE(c->listing_running());

  ASSERT_EQ(c->start_import("c_1", a, WriteAccess::Granted), ImportStart::Accepted);
  EXPECT_EQ(c->pending_import()->request, kMax - 1);
  ASSERT_TRUE(await(*c, 1).post.has_value());
  EXPECT_EQ(c->start_import("c_1", a, WriteAccess::Granted), ImportStart::Refused);
  EXPECT_EQ(c->status(), "Attachment import unavailable: request counter exhausted");
  EXPECT_FALSE(c->pending_import().has_value());
}

TEST_F(AttachControllerTest, ListingFillsThePopover) {
  write_bytes(folder() / "b.txt", "bb");
  write_bytes(folder() / "A.mp4", "a");
  auto c = make();
  c->open();
  EXPECT_TRUE(c->is_open());
  EXPECT_TRUE(c->listing_running());
  EXPECT_EQ(c->status(), "Loading attachments\u2026");
  // Opening again while the listing runs starts no second one.
  c->open();
  EXPECT_EQ(c->status(), "Loading attachments\u2026");

  await(*c, 1);
  EXPECT_FALSE(c->listing_running());
  EXPECT_EQ(c->status(), std::nullopt);
  const std::vector<ListingEntry> want = {
      {(folder() / "A.mp4").string(), "A.mp4", 1, true},
      {(folder() / "b.txt").string(), "b.txt", 2, false},
  };
  EXPECT_EQ(c->entries(), want);
  EXPECT_EQ(c->channel().queued(), 0u) << "a second listing was started";

  // A new listing clears the old entries while it runs.
  c->open();
  EXPECT_TRUE(c->entries().empty());
  await(*c, 1);
  EXPECT_EQ(c->entries(), want);
}

TEST_F(AttachControllerTest, ListingOutcomes) {
  {
    SCOPED_TRACE("closed meanwhile");
    write_bytes(folder() / "a.txt", "a");
    auto c = make();
    c->open();
    c->close();
    await(*c, 1);
    EXPECT_EQ(c->status(), "Attachment picker cancelled");
    EXPECT_TRUE(c->entries().empty());
    EXPECT_FALSE(c->listing_running());
  }
  {
    SCOPED_TRACE("folder missing");
    fs::remove_all(folder());
    auto c = make();
    c->open();
    await(*c, 1);
    EXPECT_EQ(c->status(), "Attachment picker failed: workspace is unavailable");
  }
  {
    SCOPED_TRACE("answer to another request");
    auto c = make();
    ASSERT_TRUE(
        c->channel().offer(ListingResult{5, std::vector<ListingEntry>{{"/x", "x", 1, false}}}));
    await(*c, 1);
    EXPECT_TRUE(c->entries().empty());
    EXPECT_EQ(c->status(), std::nullopt);
  }
}

TEST_F(AttachControllerTest, ListingsAreDrainedBeforeImports) {
  write_bytes(folder() / "a.txt", "a");
  auto c = make();
  c->open();
  ASSERT_EQ(c->start_import("c_1", (folder() / "a.txt").string(), WriteAccess::Granted),
            ImportStart::Accepted);
  // Whatever order the two answers arrive in, the import has the last word on the status line.
  const Drained d = await(*c, 2);
  EXPECT_TRUE(d.post.has_value());
  EXPECT_EQ(c->entries().size(), 1u);
  EXPECT_EQ(c->status(), "Attachment shared");
}

TEST_F(AttachControllerTest, ClockBeforeTheEpochUsesTheFixedInstant) {
  write_bytes(folder() / "a.txt", "a");
  AttachOptions o;
  o.folder = folder();
  o.wake = waker_.callback();
  o.now = [] { return std::chrono::system_clock::time_point(std::chrono::seconds(-5)); };
  AttachController c(std::move(o));
  ASSERT_EQ(c.start_import("c_1", (folder() / "a.txt").string(), WriteAccess::Granted),
            ImportStart::Accepted);
  const Drained d = await(c, 1);
  ASSERT_TRUE(d.post.has_value());
  EXPECT_EQ(d.post->ts, 1782477600);
}

}  // namespace
}  // namespace chat::attachments
