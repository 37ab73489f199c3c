#include "attachments/import.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "attachments/support.h"
#include "platform/strata/fs_blob_store.h"
#include "platform/strata/temp_dir.h"

namespace chat::attachments {
namespace {

namespace fs = std::filesystem;
using testing::bytes_of;
using testing::MemoryStore;
using testing::png_header;
using testing::write_bytes;
using testing::write_sparse;

constexpr std::uint64_t k32MiB = 33554432;

// Keeps whatever it is given and reads it back faithfully, but under a name of its own
// choosing: a well-formed id that is not the bytes' hash.
class MisnamingStore final : public strata::blobstore::BlobStore {
 public:
  zarn::Result<std::optional<strata::blobstore::Bytes>> get(std::string_view id) const override {
    if (id != kName) return std::optional<strata::blobstore::Bytes>();
    return std::optional<strata::blobstore::Bytes>(stored_);
  }
  zarn::Result<std::string> put(strata::blobstore::ByteView bytes) override {
    stored_.assign(bytes.begin(), bytes.end());
    return std::string(kName);
  }
  zarn::Result<std::string> put_checked(std::string_view,
                                        strata::blobstore::ByteView bytes) override {
    return put(bytes);
  }
  zarn::Result<strata::blobstore::EvictReport> evict_unreferenced(
      const std::unordered_set<std::string>&, std::chrono::seconds) override {
    return strata::blobstore::EvictReport{};
  }
  bool has(std::string_view id) const override { return id == kName; }
  strata::blobstore::BlobState state(std::string_view) const override {
    return strata::blobstore::BlobState::Present;
  }

 private:
  static constexpr std::string_view kName =
      "0000000000000000000000000000000000000000000000000000000000000000";
  strata::blobstore::Bytes stored_;
};

class ImportFile : public ::testing::Test {
 protected:
  std::shared_ptr<strata::blobstore::BlobStore> fs_store() {
    return std::make_shared<strata::blobstore::FsBlobStore>(
        dir_.path() / "store", std::uint64_t{64} << 20, std::uint64_t{1} << 30, 1000, 10000);
  }
  fs::path file(const std::string& name) const { return dir_.path() / name; }

  zarn_test::TempDir dir_;
};

TEST_F(ImportFile, SizeBoundaryIsExactly32MiB) {
  auto store = fs_store();
  write_sparse(file("max.bin"), k32MiB);
  write_sparse(file("over.bin"), k32MiB + 1);

  auto ok = import_file(file("max.bin"), store);
  ASSERT_TRUE(ok.has_value()) << ok.error();
  EXPECT_EQ(ok->size, k32MiB);
  EXPECT_EQ(ok->name, "max.bin");
  auto stored = store->get(ok->blob);
  ASSERT_TRUE(stored.has_value() && stored.value().has_value());
  EXPECT_EQ(stored.value()->size(), k32MiB);
  EXPECT_EQ(strata::blobstore::content_id_of(*stored.value()), ok->blob);

  auto over = import_file(file("over.bin"), store);
  ASSERT_FALSE(over.has_value());
  EXPECT_EQ(over.error(), "file is not shareable or exceeds 32 MiB");
}

TEST_F(ImportFile, RefusesWhatCannotBeShared) {
  write_bytes(file("empty.txt"), "");
  fs::create_directory(file("folder"));
  ASSERT_EQ(::mkfifo(file("pipe").c_str(), 0600), 0);
  fs::create_symlink(file("folder"), file("link-to-folder"));
  fs::create_symlink(file("gone"), file("dangling"));
  struct Case {
    const char* label;
    fs::path path;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"missing", file("nothing-here.png"), "file is unavailable"},
      {"empty path", fs::path(), "file is unavailable"},
      {"dangling link", file("dangling"), "file is unavailable"},
      {"directory", file("folder"), "file is not shareable or exceeds 32 MiB"},
      {"link to a directory", file("link-to-folder"), "file is not shareable or exceeds 32 MiB"},
      {"fifo", file("pipe"), "file is not shareable or exceeds 32 MiB"},
      {"device", "/dev/null", "file is not shareable or exceeds 32 MiB"},
      {"empty file", file("empty.txt"), "file is empty"},
      // A regular file of size 0 whose reads fail.
      {"unreadable", "/proc/self/mem", "could not read file"},
  };
  auto store = std::make_shared<MemoryStore>();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto r = import_file(c.path, store);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), c.error);
  }
  EXPECT_EQ(store->size(), 0u) << "refused files must not reach the store";
}

TEST_F(ImportFile, StoreFailuresAreReported) {
  write_bytes(file("a.txt"), "hello");
  struct Case {
    const char* label;
    std::shared_ptr<strata::blobstore::BlobStore> store;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"no store installed", nullptr, "shared content store refused the attachment"},
      {"store refuses", std::make_shared<MemoryStore>(MemoryStore::Fault::Refuse),
       "shared content store refused the attachment"},
      {"store answers a malformed id", std::make_shared<MemoryStore>(MemoryStore::Fault::BadId),
       "shared content store refused the attachment"},
      {"stored bytes lost", std::make_shared<MemoryStore>(MemoryStore::Fault::Lose),
       "shared byte verification failed"},
      {"stored bytes altered", std::make_shared<MemoryStore>(MemoryStore::Fault::Alter),
       "shared byte verification failed"},
      // Reading back under the answered name would give the same bytes, yet the name is wrong.
      {"stored under another id", std::make_shared<MisnamingStore>(),
       "shared byte verification failed"},
      {"file store over its blob limit",
       std::make_shared<strata::blobstore::FsBlobStore>(dir_.path() / "tiny", 4, 1 << 20, 10, 100),
       "shared content store refused the attachment"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto r = import_file(file("a.txt"), c.store);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), c.error);
  }
}

TEST_F(ImportFile, KindComesFromTheNameAndSizeFromTheBytes) {
  const std::string png = png_header(640, 480) + std::string(100, 'x');
  write_bytes(file("clip.MP4"), png);
  write_bytes(file("photo.png"), png);
  write_bytes(file("broken.png"), "\x89PNG but not really");
  write_bytes(file("zero-wide.png"), png_header(0, 480));
  write_bytes(file("notes.txt"), "some notes");
  write_bytes(file("bad\xFFname.gif"), png);
  struct Case {
    const char* label;
    std::string name;
    ImportedFile want;  // blob and size filled in below
  };
  const std::vector<Case> cases = {
      {"upper-case video extension", "clip.MP4", {"", "clip.MP4", 0, true, 640, 480}},
      {"picture", "photo.png", {"", "photo.png", 0, false, 640, 480}},
      {"unrecognised picture", "broken.png", {"", "broken.png", 0, false, 0, 0}},
      {"picture without width", "zero-wide.png", {"", "zero-wide.png", 0, false, 0, 0}},
      {"plain file", "notes.txt", {"", "notes.txt", 0, false, 0, 0}},
      {"malformed name", "bad\xFFname.gif", {"", "bad\xEF\xBF\xBDname.gif", 0, false, 640, 480}},
  };
  auto store = fs_store();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto r = import_file(file(c.name), store);
    ASSERT_TRUE(r.has_value()) << r.error();
    ImportedFile want = c.want;
    const std::string bytes = zarn_test::read_file(file(c.name));
    want.blob = strata::blobstore::content_id_of(bytes_of(bytes));
    want.size = bytes.size();
    EXPECT_EQ(r.value(), want);
  }
}

TEST(AttachmentFor, ChoosesVideoImageOrFile) {
  const std::string blob(64, 'a');
  EXPECT_EQ(attachment_for({blob, "v.mp4", 99, true, 640, 480}),
            document::Attachment(document::VideoAttachment{"v.mp4", blob, 0, 0, 99}));
  EXPECT_EQ(attachment_for({blob, "p.png", 99, false, 640, 480}),
            document::Attachment(document::ImageAttachment{"p.png", blob, 640, 480}));
  EXPECT_EQ(attachment_for({blob, "p.png", 99, false, 640, 0}),
            document::Attachment(document::FileAttachment{"p.png", blob, 99}));
  EXPECT_EQ(attachment_for({blob, "p.png", 99, false, 0, 0}),
            document::Attachment(document::FileAttachment{"p.png", blob, 99}));
}

}  // namespace
}  // namespace chat::attachments
