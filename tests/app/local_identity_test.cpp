#include "app/local_identity.h"

#include <gtest/gtest.h>

#include <regex>

#include "app/host_env_fake.h"
#include "platform/strata/temp_dir.h"

namespace chat::app {
namespace {

namespace fs = std::filesystem;
using runtime_identity::unix::Identity;

const std::regex kMintedId("u_[0-9a-f]{12}4[0-9a-f]{3}[89ab][0-9a-f]{15}");

TEST(Fnv1a64, MatchesPublishedVectors) {
  EXPECT_EQ(fnv1a64(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(fnv1a64("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(fnv1a64("foobar"), 0x85944171f73967e8ull);
}

TEST(FallbackDisplayName, FromUserOrUsername) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> vars;
    const char* want;
  };
  const std::vector<Case> cases = {
      {"separators", {{"USER", "lena.marsh-dev"}}, "Lena Marsh Dev"},
      {"only separators", {{"USER", "__"}}, "You"},
      {"username when user unset", {{"USERNAME", "owen"}}, "Owen"},
      {"empty user is used, username ignored", {{"USER", ""}, {"USERNAME", "owen"}}, "You"},
      {"whitespace only", {{"USER", "  \t "}}, "You"},
      {"neither set", {}, "You"},
      {"surrounding spaces, runs of separators", {{"USER", "  ada__k.-b  "}}, "Ada K B"},
      {"rest of each piece unchanged", {{"USER", "mcDONALD o'neil"}}, "McDONALD O'neil"},
      {"non-ascii first letter", {{"USER", "élodie_ßmith"}}, "Élodie ßmith"},
      {"digits", {{"USER", "dev-42"}}, "Dev 42"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeHost host{c.vars, std::nullopt, std::nullopt};
    EXPECT_EQ(fallback_display_name(host.env()), c.want);
  }
}

TEST(Initials, EmptyNamesGiveY) {
  EXPECT_EQ(initials_of(""), "Y");
  EXPECT_EQ(initials_of("   "), "Y");
  EXPECT_EQ(initials_of("Lena Marsh"), "LM");
}

class ResolveIdentity : public ::testing::Test {
 protected:
  fs::path data() const { return dir_.path() / "data"; }
  fs::path peer_file() const { return data() / "peer-id"; }

  // No platform identity, a data directory, and lena on box.
  IdentitySources sources() {
    host_.vars = {{"USER", "lena"}, {"HOSTNAME", "box"}};
    host_.data_dir = std::nullopt;
    host_.home = std::nullopt;
    host_.vars["ZARN_CHAT_DATA"] = data().string();
    return with(host_);
  }
  IdentitySources with(const testing::FakeHost& host) {
    IdentitySources s;
    s.env = host.env();
    s.platform_identity = [] { return zarn::Result<Identity>(zarn::make_error("none")); };
    s.hostname_file = dir_.path() / "hostname";
    return s;
  }

  zarn_test::TempDir dir_;
  testing::FakeHost host_;
};

TEST_F(ResolveIdentity, PlatformIdentityWins) {
  auto s = sources();
  Identity platform;
  for (std::size_t i = 0; i < platform.public_key.size(); ++i) {
    platform.public_key[i] = static_cast<std::uint8_t>(i);
  }
  struct Case {
    const char* name;
    std::string stored_name;
    const char* want_name;
    const char* want_initials;
  };
  const std::vector<Case> cases = {
      {"trimmed name", "  Mo Salah \n", "Mo Salah", "MS"},
      {"blank name falls back", " \t ", "Lena", "L"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform.name = c.stored_name;
    s.platform_identity = [&] { return zarn::Result<Identity>(platform); };
    auto id = resolve_local_identity(s);
    EXPECT_EQ(id.id, "u_0001020304050607");
    EXPECT_EQ(id.name, c.want_name);
    EXPECT_EQ(id.initials, c.want_initials);
    EXPECT_EQ(id.color_idx, 5u);  // FNV-1a of bytes 0..31, low three bits
  }
  EXPECT_FALSE(fs::exists(peer_file()));
}

TEST_F(ResolveIdentity, StoredPeerIdIsTrimmedAndKept) {
  fs::create_directories(data());
  zarn_test::write_file(peer_file(), "  u_abc123 \n");
  auto id = resolve_local_identity(sources());
  EXPECT_EQ(id.id, "u_abc123");
  EXPECT_EQ(id.name, "Lena");
  EXPECT_EQ(id.initials, "L");
  EXPECT_EQ(id.color_idx, 5u);
  EXPECT_EQ(zarn_test::read_file(peer_file()), "  u_abc123 \n");
}

TEST_F(ResolveIdentity, NewPeerIdIsMintedStoredAndStable) {
  for (const char* before : {"(missing)", "", "  \n"}) {
    SCOPED_TRACE(before);
    fs::remove_all(data());
    if (std::string_view(before) != "(missing)") {
      fs::create_directories(data());
      zarn_test::write_file(peer_file(), before);
    }
    auto first = resolve_local_identity(sources());
    EXPECT_TRUE(std::regex_match(first.id, kMintedId)) << first.id;
    EXPECT_EQ(zarn_test::read_file(peer_file()), first.id + "\n");
    EXPECT_EQ(first.color_idx, fnv1a64(first.id) % 8);
    EXPECT_EQ(resolve_local_identity(sources()).id, first.id);
    // Nothing but the id is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(data()), fs::directory_iterator()), 1);
  }
}

TEST_F(ResolveIdentity, UnusableDataDirectoryFallsThroughToUserAndHost) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
  };
  const std::vector<Case> cases = {
      {"data directory is a file", [&] { zarn_test::write_file(data(), "x"); }},
      {"peer-id is a folder", [&] { fs::create_directories(peer_file() / "inside"); }},
      // Foreign content is neither used as an id nor overwritten.
      {"peer-id holds something that is not an id",
       [&] {
         fs::create_directories(data());
         zarn_test::write_file(peer_file(), "hello world");
       }},
      {"peer-id is huge",
       [&] {
         fs::create_directories(data());
         zarn_test::write_file(peer_file(), "u_" + std::string(10000, 'a'));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(data());
    c.arrange();
    auto id = resolve_local_identity(sources());
    EXPECT_EQ(id.id, "u_ba49476e023d23c2");  // FNV-1a of "lena@box"
    EXPECT_EQ(id.color_idx, 4u);
    EXPECT_EQ(id.name, "Lena");
  }
  EXPECT_EQ(zarn_test::read_file(peer_file()), "u_" + std::string(10000, 'a'));
}

TEST_F(ResolveIdentity, UserAndHostWithoutDataDirectory) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> vars;
    std::optional<std::string> hostname_file;
    const char* want_id;
    const char* want_name;
  };
  const std::vector<Case> cases = {
      {"user and host",
       {{"USER", "lena"}, {"HOSTNAME", "box"}},
       "other",
       "u_ba49476e023d23c2",
       "Lena"},
      {"empty HOSTNAME reads the hostname file",
       {{"USER", "lena"}, {"HOSTNAME", ""}},
       "  box\n",
       "u_ba49476e023d23c2",
       "Lena"},
      {"unset HOSTNAME reads the hostname file",
       {{"USER", "lena"}},
       "box\n",
       "u_ba49476e023d23c2",
       "Lena"},
      {"username, no host anywhere",
       {{"USERNAME", "owen"}},
       std::nullopt,
       "u_f1f8365ada85f0e4",
       "Owen"},
      {"empty USER hides USERNAME",
       {{"USER", ""}, {"USERNAME", "owen"}, {"HOSTNAME", "box"}},
       std::nullopt,
       "u_78c91096f75ae920",
       "You"},
      {"blank hostname file", {{"USER", "lena"}}, " \n", "u_17542d0a26556475", "Lena"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_.path() / "hostname");
    if (c.hostname_file) zarn_test::write_file(dir_.path() / "hostname", *c.hostname_file);
    testing::FakeHost host{c.vars, std::nullopt, std::nullopt};
    auto id = resolve_local_identity(with(host));
    EXPECT_EQ(id.id, c.want_id);
    EXPECT_EQ(id.name, c.want_name);
    EXPECT_EQ(id.color_idx, fnv1a64(id.id) % 8);
  }
}

TEST_F(ResolveIdentity, NoSourcesGiveADifferentIdEachStart) {
  testing::FakeHost nobody{{}, std::nullopt, std::nullopt};
  auto a = resolve_local_identity(with(nobody));
  auto b = resolve_local_identity(with(nobody));
  EXPECT_TRUE(std::regex_match(a.id, kMintedId)) << a.id;
  EXPECT_TRUE(std::regex_match(b.id, kMintedId)) << b.id;
  EXPECT_NE(a.id, b.id);
  EXPECT_EQ(a.name, "You");
  EXPECT_EQ(a.initials, "Y");
}

TEST_F(ResolveIdentity, DataDirectoryFromHomeIsCreated) {
  testing::FakeHost host{{{"USER", "lena"}}, std::nullopt, dir_.path() / "home"};
  auto id = resolve_local_identity(with(host));
  EXPECT_TRUE(std::regex_match(id.id, kMintedId)) << id.id;
  EXPECT_EQ(zarn_test::read_file(dir_.path() / "home/.local/share/zarn-chat/peer-id"),
            id.id + "\n");
}

}  // namespace
}  // namespace chat::app
