#include "platform/zarn_ui/persist/persist.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "platform/zarn_ui/persist/chunk_file.h"

namespace {

namespace fs = std::filesystem;
using zarn_ui::persist::DocumentHandle;

class PersistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zarn-persist-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ / "data" / "workspace.automerge";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<DocumentHandle> open_file() {
    auto handle = zarn_ui::persist::open_migrating({"test"}, {}, path_);
    EXPECT_TRUE(handle.has_value()) << (handle ? "" : handle.error());
    return handle ? std::move(*handle) : nullptr;
  }

  static void put(DocumentHandle& h, const std::string& key, std::int64_t v) {
    ASSERT_TRUE(h.doc().put(crdt::ObjId::root(), key, v).has_value());
    h.doc().commit();
  }

  static std::optional<std::int64_t> read(DocumentHandle& h, const std::string& key) {
    auto v = h.doc().get(crdt::ObjId::root(), key);
    return v ? v->as_int() : std::nullopt;
  }

  std::vector<std::uint8_t> file_bytes() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path dir_;
  fs::path path_;
};

TEST_F(PersistTest, SavedChangesLoadAgainWithTheSameHeads) {
  std::vector<crdt::ChangeHash> heads;
  {
    auto h = open_file();
    ASSERT_TRUE(h);
    for (int i = 0; i < 20; ++i) {
      put(*h, "k" + std::to_string(i), i);
      ASSERT_TRUE(h->save().has_value());
    }
    heads = h->doc().heads();
  }
  auto h = open_file();
  ASSERT_TRUE(h);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(read(*h, "k" + std::to_string(i)), i);
  EXPECT_EQ(h->doc().heads(), heads);
}

TEST_F(PersistTest, InMemoryOpenWritesNothing) {
  auto h = zarn_ui::persist::open({"test"}, {});
  ASSERT_TRUE(h.has_value());
  put(**h, "k", 1);
  EXPECT_TRUE((*h)->save().has_value());
  EXPECT_TRUE((*h)->path().empty());
  EXPECT_FALSE(fs::exists(dir_ / "data"));
}

TEST_F(PersistTest, TornTailIsIgnoredAndTrimmed) {
  {
    auto h = open_file();
    put(*h, "kept", 7);
    ASSERT_TRUE(h->save().has_value());
  }
  const auto intact = file_bytes();
  // Half of a chunk header and payload, as a crash mid-append leaves it.
  auto torn = zarn_ui::persist::encode_chunk(zarn_ui::persist::ChunkKind::Changes,
                                             std::vector<std::uint8_t>(40, 0xAB));
  {
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(torn.data()), 20);
  }
  {
    auto h = open_file();
    ASSERT_TRUE(h);
    EXPECT_EQ(read(*h, "kept"), 7);
    EXPECT_EQ(file_bytes(), intact);
    put(*h, "after", 8);
    ASSERT_TRUE(h->save().has_value());
  }
  auto h = open_file();
  EXPECT_EQ(read(*h, "kept"), 7);
  EXPECT_EQ(read(*h, "after"), 8);
}

TEST_F(PersistTest, UnreadableFileIsSetAsideNotOverwritten) {
  const std::vector<std::string> bad_files = {
      "garbage that is not a document",
      std::string("ZARNDOC1") + std::string(30, '\x01'),
  };
  for (const auto& content : bad_files) {
    SCOPED_TRACE(content.size());
    fs::remove_all(dir_ / "data");
    fs::create_directories(path_.parent_path());
    { std::ofstream(path_, std::ios::binary) << content; }
    {
      auto h = open_file();
      ASSERT_TRUE(h);
      EXPECT_FALSE(read(*h, "anything").has_value());
    }
    int aside = 0;
    for (const auto& entry : fs::directory_iterator(path_.parent_path())) {
      const auto name = entry.path().filename().string();
      if (name.rfind("workspace.automerge.corrupt-", 0) == 0) {
        ++aside;
        std::ifstream in(entry.path(), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
      }
    }
    EXPECT_EQ(aside, 1);
  }
}

TEST_F(PersistTest, DamageBeforeTheLastChunkIsCorruptionNotATornTail) {
  {
    auto h = open_file();
    // A snapshot large enough that the small saves below append instead of compacting.
    auto text = h->doc().put_object(crdt::ObjId::root(), "body", crdt::ObjType::Text);
    std::string body;
    std::mt19937 rng(7);
    for (int i = 0; i < 4000; ++i) body.push_back(static_cast<char>('a' + rng() % 26));
    ASSERT_TRUE(h->doc().splice_text(*text, 0, 0, body).has_value());
    ASSERT_TRUE(h->save().has_value());
    for (int i = 0; i < 3; ++i) {
      put(*h, "k" + std::to_string(i), i);
      ASSERT_TRUE(h->save().has_value());
    }
  }
  auto bytes = file_bytes();
  auto parsed = zarn_ui::persist::parse_file(bytes);
  ASSERT_TRUE(parsed.has_value());
  ASSERT_GT(parsed->appended_size, 0u);
  // Flip a byte inside the first appended chunk's payload; later chunks follow it.
  const std::size_t first_change = zarn_ui::persist::kMagicSize +
                                   zarn_ui::persist::kChunkHeaderSize + parsed->snapshot_size +
                                   zarn_ui::persist::kChunkHeaderSize;
  bytes[first_change] ^= 0xFF;
  EXPECT_FALSE(zarn_ui::persist::parse_file(bytes).has_value());
}

TEST_F(PersistTest, ManySavesCompactTheFile) {
  auto h = open_file();
  auto text = h->doc().put_object(crdt::ObjId::root(), "text", crdt::ObjType::Text);
  ASSERT_TRUE(text.has_value());
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(h->doc().splice_text(*text, 0, 0, "abc").has_value());
    ASSERT_TRUE(h->save().has_value());
  }
  auto parsed = zarn_ui::persist::parse_file(file_bytes());
  ASSERT_TRUE(parsed.has_value());
  EXPECT_LE(parsed->appended_size, parsed->snapshot_size);
  h.reset();
  h = open_file();
  EXPECT_EQ(h->doc().length(*text), 900u);
}

TEST_F(PersistTest, DebouncedSaveWaitsForTheDeadline) {
  auto handle = zarn_ui::persist::open_migrating({"test"}, {std::chrono::milliseconds(100)}, path_);
  ASSERT_TRUE(handle.has_value());
  auto& h = **handle;
  const auto t0 = std::chrono::steady_clock::now();
  put(h, "k", 1);
  h.note_changed(t0);
  ASSERT_TRUE(h.save_deadline().has_value());
  const auto before = file_bytes().size();
  ASSERT_TRUE(h.save_if_due(t0 + std::chrono::milliseconds(50)).has_value());
  EXPECT_EQ(file_bytes().size(), before);
  ASSERT_TRUE(h.save_if_due(t0 + std::chrono::milliseconds(100)).has_value());
  EXPECT_GT(file_bytes().size(), before);
  EXPECT_FALSE(h.save_deadline().has_value());
}

TEST_F(PersistTest, SecondOpenIsRefusedInAnotherProcessAndFileStaysIntact) {
  auto h = open_file();
  put(*h, "k", 1);
  ASSERT_TRUE(h->save().has_value());
  const auto before = file_bytes();

  int pipefd[2];
  ASSERT_EQ(::pipe(pipefd), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(pipefd[0]);
    auto second = zarn_ui::persist::open_migrating({"test"}, {}, path_);
    std::string msg = second ? "opened" : second.error();
    (void)!::write(pipefd[1], msg.data(), msg.size());
    ::_exit(second ? 1 : 0);
  }
  ::close(pipefd[1]);
  std::string msg;
  char buf[256];
  for (ssize_t n; (n = ::read(pipefd[0], buf, sizeof buf)) > 0;) msg.append(buf, n);
  ::close(pipefd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << msg;
  EXPECT_NE(msg.find("in use by another running instance"), std::string::npos) << msg;
  EXPECT_EQ(file_bytes(), before);
}

// A child saves in a loop and reports each completed save; the parent kills it at a random
// point. Everything reported saved must load again.
TEST_F(PersistTest, KilledDuringSaveLoopLosesNothingSaved) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    fs::remove_all(dir_ / "data");
    int pipefd[2];
    ASSERT_EQ(::pipe(pipefd), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(pipefd[0]);
      auto h = zarn_ui::persist::open_migrating({"test"}, {}, path_);
      if (!h) ::_exit(2);
      auto text = (*h)->doc().put_object(crdt::ObjId::root(), "log", crdt::ObjType::Text);
      if (!text) ::_exit(3);
      for (std::int64_t i = 0;; ++i) {
        (void)(*h)->doc().put(crdt::ObjId::root(), "k" + std::to_string(i), i);
        (void)(*h)->doc().splice_text(*text, 0, 0, "entry " + std::to_string(i) + "\n");
        if (!(*h)->save()) ::_exit(4);
        if (::write(pipefd[1], &i, sizeof i) != sizeof i) ::_exit(5);
      }
    }
    ::close(pipefd[1]);
    const int wanted = std::uniform_int_distribution<int>(1, 250)(rng);
    std::int64_t last = -1;
    for (int n = 0; n < wanted; ++n) {
      std::int64_t v;
      if (::read(pipefd[0], &v, sizeof v) != sizeof v) break;
      last = v;
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(pipefd[0]);
    ASSERT_GE(last, 0);

    auto h = open_file();
    ASSERT_TRUE(h);
    for (std::int64_t i = 0; i <= last; ++i) {
      ASSERT_EQ(read(*h, "k" + std::to_string(i)), i) << "change " << i << " of " << last;
    }
  }
}

}  // namespace
