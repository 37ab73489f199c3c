// The recorded editing trace (when the shared bench data is present): replayed locally it must
// end in the published final text, and a second replica fed the changes in batches must agree.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/crdt/document.h"

namespace crdt {
namespace {

// The shared bench data sits beside the repository: <repo>/../shared/bench-data.
std::string data_dir() {
  std::string dir = ZARN_TEST_DATA_DIR;  // <repo>/tests/platform/crdt/data
  for (int up = 0; up < 4; ++up) dir = dir.substr(0, dir.rfind('/'));
  return dir + "/../shared/bench-data/";
}

std::optional<std::string> read(const std::string& name) {
  std::ifstream in(data_dir() + name, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(EditingTrace, ReplayEndsInTheFinalTextOnEveryReplica) {
  auto trace = read("editing-trace.txt");
  auto final_text = read("editing-trace.final.txt");
  if (!trace || !final_text) GTEST_SKIP() << "bench-data not present";

  ActorId a;
  a.bytes.fill(1);
  Document writer(a);
  ObjId text = *writer.put_object(ObjId::root(), "text", ObjType::Text);
  writer.commit({}, 0);
  Document reader = writer.fork();
  std::istringstream lines(*trace);
  std::string line;
  std::size_t n = 0;
  std::vector<ChangeHash> synced = writer.heads();
  while (std::getline(lines, line)) {
    std::size_t sp = line.find(' ', 2);
    std::size_t pos = std::stoul(line.substr(2, sp - 2));
    if (line[0] == 'i') {
      std::string raw = line.substr(sp + 1);
      std::string ins;
      for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
          ins.push_back(raw[i + 1] == 'n' ? '\n' : raw[i + 1]);
          ++i;
        } else {
          ins.push_back(raw[i]);
        }
      }
      ASSERT_TRUE(writer.splice_text(text, pos, 0, ins)) << line;
    } else {
      ASSERT_TRUE(writer.splice_text(text, pos, std::stoul(line.substr(sp + 1)), "")) << line;
    }
    // Uneven batches so changes both extend and split the reader's runs.
    if (++n % 997 == 0 || n % 13 == 0) writer.commit({}, 0);
    if (n % 5000 == 0) {
      ASSERT_TRUE(reader.apply_changes(writer.changes_since(synced)));
      synced = writer.heads();
    }
  }
  writer.commit({}, 0);
  ASSERT_TRUE(reader.apply_changes(writer.changes_since(synced)));
  EXPECT_EQ(writer.text(text), *final_text);
  EXPECT_EQ(reader.text(text), *final_text);
  EXPECT_EQ(reader.heads(), writer.heads());

  auto loaded = Document::load(writer.save());
  ASSERT_TRUE(loaded) << loaded.error();
  EXPECT_EQ(loaded->text(text), *final_text);
  EXPECT_EQ(loaded->heads(), writer.heads());
}

}  // namespace
}  // namespace crdt
