// Speed and size of the CRDT document: the automerge-perf editing trace (260k single-character
// edits) and a chat-sized document of 100k messages in 50 channel lists.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/crdt/document.h"

namespace {

struct Edit {
  bool insert;
  std::size_t pos;
  std::string text;  // insert only
};

struct Trace {
  std::vector<Edit> edits;
  std::string final_text;
};

std::optional<std::string> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

const std::optional<Trace>& trace() {
  static const std::optional<Trace> t = []() -> std::optional<Trace> {
    const std::string dir = std::string(ZARN_SHARED_DIR) + "/bench-data/";
    auto ops = read_file(dir + "editing-trace.txt");
    auto fin = read_file(dir + "editing-trace.final.txt");
    if (!ops || !fin) return std::nullopt;
    Trace tr;
    tr.final_text = *fin;
    std::istringstream lines(*ops);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.size() < 4) continue;
      std::size_t sp = line.find(' ', 2);
      Edit e{line[0] == 'i', std::stoul(line.substr(2, sp - 2)), {}};
      if (e.insert) {
        std::string raw = line.substr(sp + 1);
        for (std::size_t i = 0; i < raw.size(); ++i) {
          if (raw[i] == '\\' && i + 1 < raw.size()) {
            e.text.push_back(raw[i + 1] == 'n' ? '\n' : raw[i + 1]);
            ++i;
          } else {
            e.text.push_back(raw[i]);
          }
        }
      }
      tr.edits.push_back(std::move(e));
    }
    return tr;
  }();
  return t;
}

long peak_rss_kb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

enum class Commit { Once, EveryOp };

// Replays the trace; returns the document or an error text.
std::optional<crdt::Document> replay(const Trace& tr, Commit commit, std::string* error) {
  crdt::Document doc;
  auto text = doc.put_object(crdt::ObjId::root(), "text", crdt::ObjType::Text);
  for (const Edit& e : tr.edits) {
    auto r =
        e.insert ? doc.splice_text(*text, e.pos, 0, e.text) : doc.splice_text(*text, e.pos, 1, "");
    if (!r) {
      *error = r.error();
      return std::nullopt;
    }
    if (commit == Commit::EveryOp) doc.commit({}, 0);
  }
  doc.commit({}, 0);
  if (doc.text(*text) != tr.final_text) {
    *error = "final text differs from editing-trace.final.txt";
    return std::nullopt;
  }
  return doc;
}

void trace_apply(benchmark::State& state, Commit commit) {
  if (!trace()) return state.SkipWithError("bench-data trace not found");
  for (auto _ : state) {
    std::string error;
    auto doc = replay(*trace(), commit, &error);
    if (!doc) return state.SkipWithError(error.c_str());
    state.PauseTiming();
    doc.reset();  // freeing is not part of applying
    state.ResumeTiming();
  }
  state.counters["ops"] = static_cast<double>(trace()->edits.size());
  state.counters["peak_rss_MB"] = peak_rss_kb() / 1024.0;
}

void BM_TraceOneChange(benchmark::State& state) {
  trace_apply(state, Commit::Once);
}
void BM_TraceCommitEveryOp(benchmark::State& state) {
  trace_apply(state, Commit::EveryOp);
}

void trace_save_load(benchmark::State& state, Commit commit, bool measure_load) {
  if (!trace()) return state.SkipWithError("bench-data trace not found");
  std::string error;
  auto doc = replay(*trace(), commit, &error);
  if (!doc) return state.SkipWithError(error.c_str());
  crdt::Bytes saved = doc->save();
  for (auto _ : state) {
    if (measure_load) {
      auto loaded = crdt::Document::load(saved);
      if (!loaded) return state.SkipWithError(loaded.error().c_str());
      benchmark::DoNotOptimize(loaded->heads());
      state.PauseTiming();
      if (loaded->heads() != doc->heads()) return state.SkipWithError("heads differ after load");
      { auto drop = std::move(*loaded); }
      state.ResumeTiming();
    } else {
      benchmark::DoNotOptimize(saved = doc->save());
    }
  }
  state.counters["bytes"] = static_cast<double>(saved.size());
  state.counters["changes"] = static_cast<double>(doc->change_count());
  state.counters["peak_rss_MB"] = peak_rss_kb() / 1024.0;
}

void BM_TraceSave(benchmark::State& s) {
  trace_save_load(s, Commit::Once, false);
}
void BM_TraceLoad(benchmark::State& s) {
  trace_save_load(s, Commit::Once, true);
}
void BM_TraceSaveCommitEveryOp(benchmark::State& s) {
  trace_save_load(s, Commit::EveryOp, false);
}
void BM_TraceLoadCommitEveryOp(benchmark::State& s) {
  trace_save_load(s, Commit::EveryOp, true);
}

// ---- 100k messages in 50 channels, 20 words each

constexpr int kChannels = 50;
constexpr int kMessages = 100000;
constexpr int kWords = 20;

std::vector<std::string> vocabulary() {
  std::mt19937 rng(7);
  std::vector<std::string> words;
  for (int i = 0; i < 5000; ++i) {
    std::string w;
    int len = 2 + static_cast<int>(rng() % 9);
    for (int k = 0; k < len; ++k) w.push_back(static_cast<char>('a' + rng() % 26));
    words.push_back(std::move(w));
  }
  return words;
}

struct Chat {
  crdt::Document doc;
  std::size_t raw_text_bytes = 0;
};

std::optional<Chat> build_chat(std::string* error) {
  static const std::vector<std::string> words = vocabulary();
  std::mt19937 rng(11);
  Chat chat;
  crdt::Document& doc = chat.doc;
  auto root = crdt::ObjId::root();
  auto channels = *doc.put_object(root, "messages", crdt::ObjType::Map);
  std::vector<crdt::ObjId> lists;
  for (int c = 0; c < kChannels; ++c)
    lists.push_back(*doc.put_object(channels, "c_" + std::to_string(c), crdt::ObjType::List));
  doc.commit({}, 0);
  for (int m = 0; m < kMessages; ++m) {
    const crdt::ObjId& list = lists[m % kChannels];
    std::string body;
    for (int w = 0; w < kWords; ++w) {
      if (w) body.push_back(' ');
      body += words[rng() % words.size()];
    }
    chat.raw_text_bytes += body.size();
    auto msg = doc.insert_object(list, doc.length(list), crdt::ObjType::Map);
    if (!msg) {
      *error = msg.error();
      return std::nullopt;
    }
    auto text = *doc.put_object(*msg, "text", crdt::ObjType::Text);
    (void)doc.splice_text(text, 0, 0, body);
    (void)doc.put(*msg, "author", "u_" + std::to_string(rng() % 40));
    (void)doc.put(*msg, "ts", std::int64_t{1700000000 + m});
    (void)doc.put_object(*msg, "reactions", crdt::ObjType::List);
    doc.commit({}, 1700000000 + m);
  }
  return chat;
}

void BM_MessagesBuild(benchmark::State& state) {
  std::size_t raw = 0;
  for (auto _ : state) {
    std::string error;
    auto chat = build_chat(&error);
    if (!chat) return state.SkipWithError(error.c_str());
    raw = chat->raw_text_bytes;
    state.PauseTiming();
    chat.reset();
    state.ResumeTiming();
  }
  state.counters["raw_text_bytes"] = static_cast<double>(raw);
  state.counters["peak_rss_MB"] = peak_rss_kb() / 1024.0;
}

void messages_save_load(benchmark::State& state, bool measure_load) {
  std::string error;
  auto chat = build_chat(&error);
  if (!chat) return state.SkipWithError(error.c_str());
  crdt::Bytes saved = chat->doc.save();
  for (auto _ : state) {
    if (measure_load) {
      auto loaded = crdt::Document::load(saved);
      if (!loaded) return state.SkipWithError(loaded.error().c_str());
      state.PauseTiming();
      if (loaded->heads() != chat->doc.heads()) return state.SkipWithError("heads differ");
      { auto drop = std::move(*loaded); }
      state.ResumeTiming();
    } else {
      benchmark::DoNotOptimize(saved = chat->doc.save());
    }
  }
  state.counters["bytes"] = static_cast<double>(saved.size());
  state.counters["raw_text_bytes"] = static_cast<double>(chat->raw_text_bytes);
  state.counters["size_vs_raw"] =
      static_cast<double>(saved.size()) / static_cast<double>(chat->raw_text_bytes);
  state.counters["peak_rss_MB"] = peak_rss_kb() / 1024.0;
}

// After a load, the first sync rebuilds every change from the ops (hashes included); then a
// fresh replica applies the whole history as changes.
void BM_MessagesHistoryAfterLoad(benchmark::State& state) {
  std::string error;
  auto chat = build_chat(&error);
  if (!chat) return state.SkipWithError(error.c_str());
  const crdt::Bytes saved = chat->doc.save();
  crdt::Bytes all;
  for (auto _ : state) {
    state.PauseTiming();
    auto loaded = crdt::Document::load(saved);
    if (!loaded) return state.SkipWithError(loaded.error().c_str());
    state.ResumeTiming();
    all = loaded->changes_since({});
    state.PauseTiming();
    { auto drop = std::move(*loaded); }
    state.ResumeTiming();
  }
  state.counters["change_bytes"] = static_cast<double>(all.size());
}

void BM_MessagesApplyAllChanges(benchmark::State& state) {
  std::string error;
  auto chat = build_chat(&error);
  if (!chat) return state.SkipWithError(error.c_str());
  const crdt::Bytes all = chat->doc.changes_since({});
  for (auto _ : state) {
    crdt::Document replica;
    auto r = replica.apply_changes(all);
    if (!r) return state.SkipWithError(r.error().c_str());
    state.PauseTiming();
    if (replica.heads() != chat->doc.heads()) return state.SkipWithError("heads differ");
    { auto drop = std::move(replica); }
    state.ResumeTiming();
  }
  state.counters["changes"] = static_cast<double>(chat->doc.change_count());
}

void BM_MessagesSave(benchmark::State& s) {
  messages_save_load(s, false);
}
void BM_MessagesLoad(benchmark::State& s) {
  messages_save_load(s, true);
}

}  // namespace

BENCHMARK(BM_TraceOneChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceCommitEveryOp)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TraceSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceSaveCommitEveryOp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceLoadCommitEveryOp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MessagesBuild)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MessagesSave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MessagesLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MessagesHistoryAfterLoad)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MessagesApplyAllChanges)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
