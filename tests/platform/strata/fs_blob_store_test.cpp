#include "platform/strata/fs_blob_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/strata/temp_dir.h"

namespace strata::blobstore {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

Bytes bytes_of(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

struct Limits {
  std::uint64_t max_blob_bytes = 1 << 20;
  std::uint64_t max_total_bytes = 8 << 20;
  std::uint64_t max_blobs = 64;
  std::uint64_t max_scan_entries = 128;
};

class FsBlobStoreTest : public ::testing::Test {
 protected:
  fs::path root() const { return dir_.path() / "blobs"; }
  std::shared_ptr<FsBlobStore> open_store(Limits l = {}) {
    return std::make_shared<FsBlobStore>(root(), l.max_blob_bytes, l.max_total_bytes, l.max_blobs,
                                         l.max_scan_entries);
  }
  // Names in the root folder, whatever they are.
  std::vector<std::string> folder() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(root(), ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  zarn_test::TempDir dir_;
};

TEST_F(FsBlobStoreTest, PutThenGetRoundTripsUnderTheSha256Id) {
  auto store = open_store();
  const std::string abc_sha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  auto id = store->put(bytes_of("abc"));
  ASSERT_TRUE(id) << id.error();
  EXPECT_EQ(*id, abc_sha256);
  EXPECT_EQ(folder(), std::vector<std::string>{abc_sha256});

  auto got = store->get(*id);
  ASSERT_TRUE(got) << got.error();
  ASSERT_TRUE(got->has_value());
  EXPECT_EQ(**got, bytes_of("abc"));
  EXPECT_TRUE(store->has(*id));
  EXPECT_EQ(store->state(*id), BlobState::Present);

  // Upper-case ids name the same blob; storing the same bytes again keeps one file.
  std::string upper = *id;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto again = store->get(upper);
  ASSERT_TRUE(again && again->has_value());
  EXPECT_EQ(store->put(bytes_of("abc")).value(), abc_sha256);
  EXPECT_EQ(folder().size(), 1u);

  // Empty and binary blobs are blobs too.
  Bytes binary{0, 1, 2, 0xff, 0, 0x80};
  for (const Bytes& b : {Bytes{}, binary}) {
    auto bid = store->put(b);
    ASSERT_TRUE(bid) << bid.error();
    auto back = store->get(*bid);
    ASSERT_TRUE(back && back->has_value());
    EXPECT_EQ(**back, b);
  }
}

TEST_F(FsBlobStoreTest, UnstoredIdGivesNothing) {
  auto store = open_store();
  ASSERT_TRUE(store->put(bytes_of("something else")));
  const std::string id(64, 'a');
  auto got = store->get(id);
  ASSERT_TRUE(got) << got.error();
  EXPECT_FALSE(got->has_value());
  EXPECT_FALSE(store->has(id));
  EXPECT_EQ(store->state(id), BlobState::Unavailable);
}

TEST_F(FsBlobStoreTest, InvalidIdsAreRefusedBeforeAnyPathIsBuilt) {
  auto store = open_store();
  ASSERT_TRUE(store->put(bytes_of("x")));
  // A readable file one level above the root, reachable by a 64-character "../" name.
  const std::string victim(61, 'b');
  zarn_test::write_file(dir_.path() / victim, "secret");
  const std::string stored = store->put(bytes_of("y")).value();

  const std::vector<std::string> ids = {
      "../" + victim,
      std::string(63, 'a'),
      std::string(65, 'a'),
      "",
      std::string(62, 'a') + "/.",
      std::string(63, 'a') + "g",
      std::string(63, 'a') + std::string(1, '\0'),
      stored.substr(0, 63) + " ",
      " " + stored.substr(1),
  };
  for (const auto& id : ids) {
    SCOPED_TRACE(id);
    auto got = store->get(id);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error(), "invalid content id");
    EXPECT_FALSE(store->has(id));
    EXPECT_EQ(store->state(id), BlobState::Unavailable);
    EXPECT_FALSE(store->put_checked(id, bytes_of("x")));
  }
  EXPECT_EQ(zarn_test::read_file(dir_.path() / victim), "secret");
}

TEST_F(FsBlobStoreTest, DamagedBlobReadsAsAnErrorUntilRestored) {
  auto store = open_store();
  const Bytes original = bytes_of("the original bytes of an attachment");
  const std::string id = store->put(original).value();
  const fs::path file = root() / id;

  struct Damage {
    const char* name;
    std::string content;
  };
  std::string flipped(original.begin(), original.end());
  flipped[3] ^= 0x20;
  const std::vector<Damage> damages = {
      {"one flipped bit", flipped},
      {"truncated", std::string(original.begin(), original.begin() + 10)},
      {"emptied", ""},
  };
  for (const auto& d : damages) {
    SCOPED_TRACE(d.name);
    zarn_test::write_file(file, d.content);
    auto got = store->get(id);
    ASSERT_FALSE(got);
    EXPECT_NE(got.error().find("corrupt"), std::string::npos) << got.error();
    // Once found, the damage is remembered by the cheap checks too.
    EXPECT_FALSE(store->has(id));
    EXPECT_EQ(store->state(id), BlobState::Unavailable);

    ASSERT_TRUE(store->put(original));
    EXPECT_TRUE(store->has(id));
    EXPECT_EQ(store->state(id), BlobState::Present);
    auto back = store->get(id);
    ASSERT_TRUE(back && back->has_value());
    EXPECT_EQ(**back, original);
  }
}

TEST_F(FsBlobStoreTest, SymlinkUnderABlobNameIsNotFollowed) {
  auto store = open_store();
  ASSERT_TRUE(store->put(bytes_of("seed")));  // creates the root
  const Bytes outside = bytes_of("lives outside the store");
  const std::string id = content_id_of(outside);
  zarn_test::write_file(dir_.path() / "outside", "lives outside the store");
  fs::create_symlink(dir_.path() / "outside", root() / id);
  EXPECT_FALSE(store->has(id));
  EXPECT_FALSE(store->get(id));
  EXPECT_EQ(store->state(id), BlobState::Unavailable);
}

TEST_F(FsBlobStoreTest, InterruptedWriteLeavesNoVisibleBlob) {
  auto store = open_store();
  const Bytes bytes = bytes_of("written to a temporary file, then the process died");
  const std::string id = content_id_of(bytes);
  fs::create_directories(root());
  // What a crash between the flush and the rename leaves: the bytes under a temporary name.
  zarn_test::write_file(root() / ".tmp-0123456789abcdef01234567",
                        "written to a temporary file, then the process died");
  zarn_test::write_file(root() / "notes.txt", "a foreign file");

  EXPECT_FALSE(store->has(id));
  auto got = store->get(id);
  ASSERT_TRUE(got);
  EXPECT_FALSE(got->has_value());
  EXPECT_EQ(store->state(id), BlobState::Unavailable);

  auto report = store->evict_unreferenced({}, seconds(0));
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(report->temp_files_removed, 1u);
  EXPECT_EQ(report->blobs_removed, 0u);
  EXPECT_EQ(folder(), std::vector<std::string>{"notes.txt"});

  ASSERT_TRUE(store->put(bytes));
  EXPECT_TRUE(store->has(id));
}

TEST_F(FsBlobStoreTest, PutCheckedStoresOnlyMatchingBytes) {
  auto store = open_store();
  const Bytes bytes = bytes_of("bytes from a peer");
  const std::string id = content_id_of(bytes);
  EXPECT_FALSE(store->put_checked(id, bytes_of("bytes from a liar")));
  EXPECT_FALSE(store->has(id));
  EXPECT_TRUE(folder().empty());

  auto stored = store->put_checked(id, bytes);
  ASSERT_TRUE(stored) << stored.error();
  EXPECT_EQ(*stored, id);
  EXPECT_TRUE(store->has(id));
}

TEST_F(FsBlobStoreTest, PutHashedStoresUnderTheIdAndMatchesComparesTheStoredBytes) {
  auto store = open_store();
  const Bytes original = bytes_of("an attachment, hashed while it was read");
  const HashedBytes blob = HashedBytes::of(original);
  auto absent = store->matches(blob);
  ASSERT_TRUE(absent) << absent.error();
  EXPECT_FALSE(*absent);

  auto id = store->put_hashed(blob);
  ASSERT_TRUE(id) << id.error();
  EXPECT_EQ(*id, content_id_of(original));
  EXPECT_EQ(folder(), std::vector<std::string>{*id});
  auto got = store->get(*id);  // get re-hashes: the stored name is the bytes' own id
  ASSERT_TRUE(got && got->has_value()) << (got ? "absent" : got.error());
  EXPECT_EQ(**got, original);

  std::string flipped(original.begin(), original.end());
  flipped.back() ^= 0x01;
  struct Damage {
    const char* name;
    std::string content;
  };
  const std::vector<Damage> damages = {
      {"untouched", std::string(original.begin(), original.end())},
      {"last bit flipped", flipped},
      {"truncated", std::string(original.begin(), original.end() - 1)},
      {"one byte longer", std::string(original.begin(), original.end()) + "x"},
      {"emptied", ""},
  };
  for (const auto& d : damages) {
    SCOPED_TRACE(d.name);
    const bool intact = d.content.size() == original.size() &&
                        std::equal(original.begin(), original.end(), d.content.begin());
    zarn_test::write_file(root() / *id, d.content);
    auto same = store->matches(blob);
    ASSERT_TRUE(same) << same.error();
    EXPECT_EQ(*same, intact);
    // A mismatch is damage: the cheap checks stop offering the blob until it is stored again.
    EXPECT_EQ(store->state(*id), intact ? BlobState::Present : BlobState::Unavailable);
    ASSERT_TRUE(store->put_hashed(blob));
    EXPECT_EQ(store->state(*id), BlobState::Present);
    EXPECT_TRUE(store->matches(blob).value());
  }

  // A link planted under the name is never followed, so it never matches.
  const HashedBytes outside = HashedBytes::of(bytes_of("lives outside the store"));
  zarn_test::write_file(dir_.path() / "outside", "lives outside the store");
  fs::create_symlink(dir_.path() / "outside", root() / outside.id());
  auto linked = store->matches(outside);
  EXPECT_FALSE(linked && *linked);
}

TEST_F(FsBlobStoreTest, PutHashedKeepsTheLimits) {
  auto store = open_store({100, 1000, 10, 100});
  EXPECT_FALSE(store->put_hashed(HashedBytes::of(Bytes(101, 'a'))));
  EXPECT_TRUE(folder().empty());
  EXPECT_TRUE(store->put_hashed(HashedBytes::of(Bytes(100, 'a'))));
}

TEST_F(FsBlobStoreTest, LimitsRefuseWritesAndLeaveNothingBehind) {
  struct Case {
    const char* name;
    Limits limits;
    std::vector<std::size_t> sizes;  // blobs put in order, distinct contents
    std::vector<bool> accepted;
  };
  const std::vector<Case> cases = {
      {"blob at the size limit, one byte more", {100, 1000, 10, 100}, {100, 101}, {true, false}},
      {"total bytes", {100, 250, 10, 100}, {100, 100, 51, 50}, {true, true, false, true}},
      {"blob count", {100, 1000, 2, 100}, {1, 2, 3}, {true, true, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root());
    auto store = open_store(c.limits);
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      SCOPED_TRACE(i);
      Bytes b(c.sizes[i], static_cast<std::uint8_t>('a' + i));
      auto id = store->put(b);
      EXPECT_EQ(static_cast<bool>(id), c.accepted[i]) << (id ? *id : id.error());
      EXPECT_EQ(store->has(content_id_of(b)), c.accepted[i]);
    }
    for (const auto& name : folder()) EXPECT_NE(name.substr(0, 5), ".tmp-");
  }
}

TEST_F(FsBlobStoreTest, StoringAnAlreadyStoredBlobAtTheLimitsSucceeds) {
  auto store = open_store({100, 150, 2, 100});
  const Bytes a(100, 'a'), b(50, 'b');
  ASSERT_TRUE(store->put(a));
  ASSERT_TRUE(store->put(b));
  EXPECT_FALSE(store->put(Bytes(1, 'c')));
  EXPECT_TRUE(store->put(a));
  EXPECT_TRUE(store->put(b));
}

TEST_F(FsBlobStoreTest, FloodedFolderRefusesWritesAndEvictsInBoundedPasses) {
  auto store = open_store({100, 1000, 100, 8});
  ASSERT_TRUE(store->put(bytes_of("kept")));
  for (int i = 0; i < 10; ++i) {
    zarn_test::write_file(root() / (".tmp-stale" + std::to_string(i)), "x");
  }
  auto refused = store->put(bytes_of("new"));
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().find("more than 8 entries"), std::string::npos) << refused.error();

  auto first = store->evict_unreferenced({content_id_of(bytes_of("kept"))}, seconds(0));
  ASSERT_TRUE(first);
  EXPECT_FALSE(first->complete);
  auto second = store->evict_unreferenced({content_id_of(bytes_of("kept"))}, seconds(0));
  ASSERT_TRUE(second);
  EXPECT_TRUE(second->complete);
  EXPECT_EQ(first->temp_files_removed + second->temp_files_removed, 10u);
  EXPECT_TRUE(store->put(bytes_of("new")));
  EXPECT_TRUE(store->has(content_id_of(bytes_of("kept"))));
}

TEST_F(FsBlobStoreTest, EvictionKeepsReferencedAndRecentBlobs) {
  auto store = open_store();
  const std::string a = store->put(bytes_of("aaaa")).value();
  const std::string b = store->put(bytes_of("bbbbbb")).value();
  const std::string c = store->put(bytes_of("cc")).value();

  // Fresh blobs may belong to an import whose message is not written yet.
  auto young = store->evict_unreferenced({}, seconds(3600));
  ASSERT_TRUE(young);
  EXPECT_EQ(young->blobs_removed, 0u);

  std::string a_upper = a;
  for (char& ch : a_upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  auto report = store->evict_unreferenced({a_upper, "not an id"}, seconds(0));
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(report->blobs_removed, 2u);
  EXPECT_EQ(report->bytes_removed, 8u);
  EXPECT_TRUE(store->has(a));
  EXPECT_FALSE(store->has(b));
  EXPECT_FALSE(store->has(c));
}

TEST_F(FsBlobStoreTest, WriteInFlightReportsPending) {
  const std::string id = content_id_of(bytes_of("arriving"));
  FsBlobStore::Bookkeeping book;
  book.writing[id] = 1;
  FsBlobStore store(root(), 100, 1000, 10, 100, book);
  EXPECT_EQ(store.state(id), BlobState::Pending);
  EXPECT_FALSE(store.has(id));
  // The bytes landing wins over the record of the write.
  ASSERT_TRUE(store.put(bytes_of("arriving")));
  EXPECT_EQ(store.state(id), BlobState::Present);
}

TEST_F(FsBlobStoreTest, StoreWithoutFolderRefusesEverything) {
  FsBlobStore store(fs::path(), 100, 1000, 10, 100);
  EXPECT_FALSE(store.put(bytes_of("x")));
  EXPECT_FALSE(store.get(content_id_of(bytes_of("x"))));
  EXPECT_FALSE(store.has(content_id_of(bytes_of("x"))));
  EXPECT_FALSE(store.evict_unreferenced({}, seconds(0)));
}

TEST_F(FsBlobStoreTest, UnusableFolderGivesAnErrorNotACrash) {
  auto store = open_store();
  zarn_test::write_file(root(), "a file where the folder should be");
  auto id = store->put(bytes_of("x"));
  ASSERT_FALSE(id);
  EXPECT_NE(id.error().find("content store folder"), std::string::npos) << id.error();
  EXPECT_FALSE(store->has(content_id_of(bytes_of("x"))));
  EXPECT_FALSE(store->evict_unreferenced({}, seconds(0)));
}

TEST_F(FsBlobStoreTest, ConcurrentPutsNeverPassTheCountLimit) {
  constexpr int kThreads = 8, kPerThread = 40, kLimit = 100;
  auto store = open_store({1 << 16, 1 << 26, kLimit, 1024});
  std::atomic<int> accepted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        Bytes b(1000, static_cast<std::uint8_t>(i));
        b[0] = static_cast<std::uint8_t>(t);
        if (store->put(b)) ++accepted;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(accepted.load(), kLimit);
  auto names = folder();
  EXPECT_EQ(names.size(), static_cast<std::size_t>(kLimit));
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    auto got = store->get(name);
    ASSERT_TRUE(got) << got.error();
    EXPECT_TRUE(got->has_value());
  }
}

TEST_F(FsBlobStoreTest, ReadersNeverSeeAPartlyWrittenBlob) {
  auto store = open_store({4 << 20, 64 << 20, 10, 100});
  Bytes big(2 << 20);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31 + 7);
  const std::string id = content_id_of(big);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20; ++i) {
      if (!store->put(big)) {
        ADD_FAILURE() << "put failed";
        break;
      }
    }
    done = true;
  });
  // EXPECT and break rather than ASSERT: the writer thread must be joined either way.
  while (!done) {
    auto got = store->get(id);
    if (!got) {
      ADD_FAILURE() << got.error();
      break;
    }
    if (got->has_value() && (*got)->size() != big.size()) {
      ADD_FAILURE() << "partial blob of " << (*got)->size() << " bytes";
      break;
    }
  }
  writer.join();
  EXPECT_TRUE(store->has(id));
}

}  // namespace
}  // namespace strata::blobstore
