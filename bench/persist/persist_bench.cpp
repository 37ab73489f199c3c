// Appending one small change to a document file that already holds a sizeable document.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/zarn_ui/persist/persist.h"

namespace {

namespace fs = std::filesystem;

void BM_AppendOneSmallChange(benchmark::State& state) {
  char tmpl[] = "/tmp/zarn-persist-bench-XXXXXX";
  if (!::mkdtemp(tmpl)) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const fs::path dir = tmpl;
  {
    auto handle = zarn_ui::persist::open_migrating({"bench"}, {}, dir / "workspace.automerge");
    if (!handle) {
      state.SkipWithError(handle.error().c_str());
      return;
    }
    auto& doc = (*handle)->doc();
    // A few thousand messages first, so appends are measured against a real file.
    auto list = doc.put_object(crdt::ObjId::root(), "messages", crdt::ObjType::List);
    for (int i = 0; i < 5000; ++i) {
      auto msg = doc.insert_object(*list, static_cast<std::size_t>(i), crdt::ObjType::Map);
      (void)doc.put(*msg, "author", std::string("u_bench"));
      auto text = doc.put_object(*msg, "text", crdt::ObjType::Text);
      (void)doc.splice_text(*text, 0, 0, "a message of a few words for the benchmark file");
    }
    (void)(*handle)->save();
    std::int64_t n = 0;
    for (auto _ : state) {
      (void)doc.put(crdt::ObjId::root(), "counter", n++);
      if (auto r = (*handle)->save(); !r) state.SkipWithError(r.error().c_str());
    }
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_AppendOneSmallChange)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
