#include "platform/runtime_identity/identity.h"

#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/stat.h>

#include "platform/strata/temp_dir.h"

namespace runtime_identity::unix {
namespace {

namespace fs = std::filesystem;

TEST(Identity, CreateSaveLoadRoundTrip) {
  zarn_test::TempDir dir;
  auto made = create("  Lena Marsh ");
  ASSERT_TRUE(made) << made.error();
  const fs::path path = dir.path() / "config" / "zarn" / "identity";
  auto saved = save_to(*made, path);
  ASSERT_TRUE(saved) << saved.error();

  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  auto loaded = load_from(path);
  ASSERT_TRUE(loaded) << loaded.error();
  EXPECT_EQ(loaded->name, "  Lena Marsh ");
  EXPECT_EQ(loaded->public_key, made->public_key);
  EXPECT_EQ(loaded->secret_key.bytes, made->secret_key.bytes);

  // The keys really sign and verify.
  const unsigned char msg[] = "hello";
  std::array<unsigned char, crypto_sign_BYTES> sig{};
  crypto_sign_detached(sig.data(), nullptr, msg, sizeof msg, loaded->secret_key.bytes.data());
  EXPECT_EQ(crypto_sign_verify_detached(sig.data(), msg, sizeof msg, loaded->public_key.data()), 0);

  // Two creations give different keys.
  EXPECT_NE(create("x").value().public_key, made->public_key);
}

TEST(Identity, MissingFileFailsCleanly) {
  zarn_test::TempDir dir;
  auto r = load_from(dir.path() / "nothing");
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("no identity"), std::string::npos) << r.error();
  EXPECT_FALSE(load_from(dir.path()));  // a folder is not an identity
}

TEST(Identity, DecodeRejectsMalformedFiles) {
  const std::string good = encode(create("Owen").value());
  ASSERT_TRUE(decode(good));
  auto other = encode(create("Owen").value());
  auto line = [](const std::string& text, int n) {
    std::size_t start = 0;
    for (int i = 0; i < n; ++i) start = text.find('\n', start) + 1;
    return text.substr(start, text.find('\n', start) - start);
  };
  auto replace_line = [&](int n, const std::string& with) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += (i == n ? with : line(good, i)) + "\n";
    return out;
  };
  std::string upper_pub = line(good, 2);
  for (std::size_t i = 7; i < upper_pub.size(); ++i) {
    upper_pub[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper_pub[i])));
  }

  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"no final newline", good.substr(0, good.size() - 1)},
      {"extra line", good + "extra\n"},
      {"crlf", replace_line(0, "zarn-identity v1\r")},
      {"other version", replace_line(0, "zarn-identity v2")},
      {"name key missing", replace_line(1, "nom Owen")},
      {"name with control character", replace_line(1, "name Ow\ten")},
      {"name not utf-8", replace_line(1, "name Ow\xc3")},
      {"name overlong utf-8", replace_line(1, "name \xc0\xaf")},
      {"name too long", replace_line(1, "name " + std::string(300, 'a'))},
      {"public key short", replace_line(2, line(good, 2).substr(0, 70))},
      {"public key upper-case", replace_line(2, upper_pub)},
      {"public key of another pair", replace_line(2, line(other, 2))},
      {"secret key of another pair", replace_line(3, line(other, 3))},
      {"secret key not hex", replace_line(3, "secret " + std::string(128, 'z'))},
      {"lines swapped",
       line(good, 0) + "\n" + line(good, 2) + "\n" + line(good, 1) + "\n" + line(good, 3) + "\n"},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    auto r = decode(text);
    EXPECT_FALSE(r);
  }
}

TEST(Identity, LoadRefusesFilesOthersCanRead) {
  zarn_test::TempDir dir;
  const fs::path path = dir.path() / "identity";
  ASSERT_TRUE(save_to(create("Mo").value(), path));
  fs::permissions(path, fs::perms::group_read, fs::perm_options::add);
  auto r = load_from(path);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("other users"), std::string::npos) << r.error();

  // Saving again repairs the permissions of the file it replaces.
  ASSERT_TRUE(save_to(create("Mo").value(), path));
  EXPECT_TRUE(load_from(path));
}

TEST(Identity, LoadRefusesOversizedFiles) {
  zarn_test::TempDir dir;
  const fs::path path = dir.path() / "identity";
  zarn_test::write_file(path, std::string(1 << 20, 'a'));
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  auto r = load_from(path);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("too large"), std::string::npos) << r.error();
}

TEST(Identity, CreateAndSaveRejectUnusableNames) {
  EXPECT_FALSE(create("line\nbreak"));
  EXPECT_FALSE(create(std::string(257, 'n')));
  EXPECT_TRUE(create(""));  // an empty name is allowed; readers substitute their own
  auto id = create("ok").value();
  id.name = "bad\x7f";
  zarn_test::TempDir dir;
  EXPECT_FALSE(save_to(id, dir.path() / "identity"));
  EXPECT_FALSE(fs::exists(dir.path() / "identity"));
}

}  // namespace
}  // namespace runtime_identity::unix
