// End-to-end runs of the chatctl binary against a document file in a temporary folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "document/dump.h"
#include "document/seed.h"
#include "platform/zarn_ui/persist/persist.h"

namespace {

namespace fs = std::filesystem;
using Json = chat::document::Json;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void spit(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary);
  out << text;
}

class ChatctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "chatctl-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
    doc_path = dir / "workspace.automerge";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  struct Run {
    int status = -1;
    std::string out;
    std::string err;
  };
  // Runs chatctl with `args`, feeding `input` on stdin.
  Run run(const std::string& args, const std::string& input = "") {
    spit(dir / "stdin.txt", input);
    const std::string cmd = std::string("'") + ZARN_CHATCTL_PATH + "' " + args + " < '" +
                            (dir / "stdin.txt").string() + "' > '" + (dir / "stdout.txt").string() +
                            "' 2> '" + (dir / "stderr.txt").string() + "'";
    const int raw = std::system(cmd.c_str());
    Run r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(dir / "stdout.txt");
    r.err = slurp(dir / "stderr.txt");
    return r;
  }
  std::string on_doc(const std::string& command) {
    return "--doc '" + doc_path.string() + "' " + command;
  }

  fs::path dir;
  fs::path doc_path;
};

TEST_F(ChatctlTest, DecodePrintsTheCanonicalFormOrTheError) {
  auto ok = run("decode", R"( { "DeleteCategory" : { "extra": [1], "id": "cat_1" } } )");
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, "{\"DeleteCategory\":{\"id\":\"cat_1\"}}\n");

  auto sent =
      run("decode", R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":1,"text":"t"}})");
  EXPECT_EQ(sent.status, 0);
  EXPECT_EQ(
      sent.out,
      "{\"SendMessage\":{\"channel\":\"c\",\"id\":\"m\",\"author\":\"u\",\"ts\":1,\"text\":\"t\","
      "\"parent\":null,\"attachment\":null,\"mentions\":[],\"reference\":null}}\n");

  auto bad = run("decode", R"({"DeleteCategory":{}})");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.out.find("DeleteCategory.id: missing required field"), std::string::npos)
      << bad.out;
  EXPECT_FALSE(fs::exists(doc_path)) << "decode never touches a document";
}

TEST_F(ChatctlTest, SeedApplyDump) {
  auto seeded = run(on_doc("seed demo"));
  ASSERT_EQ(seeded.status, 0) << seeded.err;

  const std::string batch =
      R"({"SendMessage":{"channel":"c_general","id":"m_e2e","author":"u_me","ts":1782480000,"text":"hi @Lena","mentions":[{"user":"u_lena","start":3,"len":5,"is_agent":false}]}})"
      "\n"
      R"({"AddReaction":{"channel":"c_general","msg":"m_e2e","emoji":"🎉","user":"u_lena"}})"
      "\n\n"
      R"({"EditMessage":{"channel":"c_general","id":"m_e2e","text":"hi again @Lena","ts":1782480060}})"
      "\n"
      R"({"Nope":{}})"
      "\n"
      R"({"CreateChannel":{"workspace":"ws_acme","category":"cat_acme_main","id":"c_e2e","name":"e2e","kind":"Text"}})"
      "\n"
      R"({"MarkRead":{"channel":"c_general","user":"u_me","count":-1}})"
      "\n"
      R"({"JoinCall":{"channel":"c_huddle","user":"u_me"}})"
      "\n"
      R"({"SetCallTicket":{"channel":"c_huddle","user":"u_me","ticket":"tkt-1"}})"
      "\n"
      R"({"SendMessage":{"channel":"c_general","id":"m.bad","author":"u_me","ts":1,"text":"dropped"}})"
      "\n";
  auto applied = run(on_doc("apply"), batch);
  EXPECT_EQ(applied.status, 2) << "one line did not decode";
  std::istringstream lines(applied.out);
  std::vector<std::string> out;
  for (std::string l; std::getline(lines, l);) out.push_back(l);
  ASSERT_EQ(out.size(), 9u) << applied.out;
  for (std::size_t i : {0u, 1u, 2u, 4u, 5u, 6u, 7u, 8u}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(out[i], "ok");
  }
  EXPECT_NE(out[3].find("chat.action"), std::string::npos) << out[3];
  EXPECT_NE(out[3].find("unknown variant \"Nope\""), std::string::npos) << out[3];

  auto dumped = run(on_doc("dump"));
  ASSERT_EQ(dumped.status, 0) << dumped.err;
  auto parsed = chat::document::parse_strict_json(dumped.out);
  ASSERT_TRUE(parsed.has_value()) << parsed.error();
  const Json& d = *parsed;

  const auto& general = d["messages"]["c_general"];
  ASSERT_TRUE(general.is_array());
  EXPECT_EQ(general.back(), Json::parse(R"({
    "author": "u_me", "edited": true,
    "history": [{"text": "hi @Lena", "ts": 1782480060}],
    "id": "m_e2e",
    "mentions": [{"agent": false, "len": 5, "start": 3, "user": "u_lena"}],
    "parent": "", "reactions": [{"emoji": "🎉", "user": "u_lena"}],
    "text": "hi again @Lena", "ts": 1782480000})"));
  for (const auto& m : general) EXPECT_NE(m["id"], "m.bad");

  EXPECT_EQ(d["channels"]["c_e2e"], Json::parse(R"({"category": "cat_acme_main", "kind": "text",
    "name": "e2e", "order": 4, "topic": "", "workspace": "ws_acme"})"));
  EXPECT_EQ(d["read"]["u_me"]["c_general"], -1);
  EXPECT_EQ(d["voice"]["c_huddle"]["u_me"], Json::parse(R"({"audio_only": false,
    "deafened": false, "muted": false, "sharing": false, "talking": false, "ticket": "tkt-1"})"));

  // Everything else is the demonstration content as seeded in process.
  crdt::Document reference;
  chat::document::write_demo_content(reference);
  const Json expected = chat::document::dump_document(reference);
  for (const char* key : {"workspaces", "categories", "users", "seeded"}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(d[key], expected[key]);
  }
  Json channels = d["channels"];
  channels.erase("c_e2e");
  EXPECT_EQ(channels, expected["channels"]);
}

TEST_F(ChatctlTest, ALockedDocumentIsRefusedAndUnchanged) {
  ASSERT_EQ(run(on_doc("seed demo")).status, 0);
  const std::string before = slurp(doc_path);
  {
    auto held = zarn_ui::persist::open_migrating({"test"}, {}, doc_path);
    ASSERT_TRUE(held.has_value()) << held.error();
    auto r = run(on_doc("apply"), R"({"JoinCall":{"channel":"c_huddle","user":"u_x"}})"
                                  "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("chatctl:"), std::string::npos);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(r.out, "");
    auto s = run(on_doc("seed starter"));
    EXPECT_EQ(s.status, 1);
  }
  EXPECT_EQ(slurp(doc_path), before);
}

TEST_F(ChatctlTest, UsageErrors) {
  EXPECT_EQ(run("").status, 64);
  EXPECT_EQ(run(on_doc("seed nothing")).status, 64);
  EXPECT_EQ(run(on_doc("frobnicate")).status, 64);
  EXPECT_EQ(run(on_doc("dump")).status, 1) << "no document yet";
  EXPECT_FALSE(fs::exists(doc_path));
}

}  // namespace
