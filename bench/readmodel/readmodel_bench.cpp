// Read-model rebuild (full, with and without every message, and unchanged-document) and search
// catalogue build and query over a document of 100k messages in 50 channels.
#include <benchmark/benchmark.h>

#include <random>

#include "document/access.h"
#include "document/entities.h"
#include "document/messages.h"
#include "document/read_model.h"
#include "search/search_catalog.h"

namespace {

using namespace chat::document;

constexpr int kChannels = 50;
constexpr int kMessageCount = 100000;

const char* const kWords[] = {"render", "layout", "pixel",  "merge",  "review", "deploy",
                              "theme",  "shadow", "kernel", "socket", "frame",  "buffer",
                              "audio",  "camera", "thread", "cursor", "design", "sprint"};

// The record writer's duplicate-id check reads every message id, so 100k posts through it
// take quadratic time; this writes the same layout directly.
void append_message(crdt::Document& d, const crdt::ObjId& list, const MessageRecord& m) {
  const crdt::ObjId obj = append_map(d, list, "insert msg");
  put_str(d, obj, "id", m.id);
  put_str(d, obj, "author", m.author);
  put_int(d, obj, "ts", m.ts);
  put_str(d, obj, "parent", m.parent.value_or(std::string()));
  put_bool(d, obj, "edited", false);
  const crdt::ObjId text = ensure_text(d, obj, "text");
  (void)d.splice_text(text, 0, 0, m.text);
  ensure_list(d, obj, "reactions");
  ensure_list(d, obj, "mentions");
  ensure_list(d, obj, "history");
}

crdt::Document& big_document() {
  static crdt::Document doc = [] {
    crdt::Document d;
    std::mt19937 rng(7);
    write_workspace(d, WorkspaceRecord{"ws_main", "Main", "MA", 0, 0});
    for (int u = 0; u < 20; ++u) {
      const std::string id = "u_" + std::to_string(u);
      write_user(d,
                 UserRecord{id, "User " + std::to_string(u), "U", u % 8, Presence::Online, false});
    }
    // A member who never posts and is never mentioned: the people of the workspace are only
    // known once every message has been scanned.
    write_user(d, UserRecord{"u_lurker", "Lurker", "L", 1, Presence::Idle, false});
    for (int c = 0; c < kChannels; ++c) {
      write_channel(
          d, ChannelRecord{"c_" + std::to_string(c), "ws_main", "cat",
                           "channel-" + std::to_string(c), "topic", ChannelKind::Text, c, false});
    }
    d.commit();
    const crdt::ObjId root_messages = ensure_map(d, crdt::ObjId::root(), kMessages);
    std::vector<crdt::ObjId> lists;
    for (int c = 0; c < kChannels; ++c) {
      lists.push_back(ensure_list(d, root_messages, "c_" + std::to_string(c)));
    }
    for (int i = 0; i < kMessageCount; ++i) {
      MessageRecord m;
      m.id = "m_" + std::to_string(i);
      m.author = "u_" + std::to_string(rng() % 20);
      m.ts = 1700000000 + i;
      for (int w = 0; w < 12; ++w) {
        if (w) m.text += ' ';
        m.text += kWords[rng() % std::size(kWords)];
      }
      if (i % 5 == 4) m.parent = "m_" + std::to_string(i - 1);
      append_message(d, lists[static_cast<std::size_t>(i % kChannels)], m);
      if (i % 1000 == 999) d.commit();
    }
    d.commit();
    return d;
  }();
  return doc;
}

ReadModelInputs inputs(AllMessages all = AllMessages::Read) {
  ReadModelInputs in;
  in.selection = Selection{"ws_main", "ws_main", "c_0", std::nullopt};
  in.local = LocalUser{"u_0", "User 0", "U", 0};
  in.all_messages = all;
  return in;
}

// The per-frame rebuild: every entity, unread counts and people, the current channel in full.
// The lurker keeps the people open until the last message; with the lurker counted as the
// local user (a self id) every user is seen early and later messages are read for their
// parent only.
void BM_FullRebuild(benchmark::State& state, bool lurker_is_self) {
  const crdt::Document& doc = big_document();
  auto in = inputs(AllMessages::Skip);
  if (lurker_is_self) in.self_ids = {"u_lurker"};
  for (auto _ : state) {
    ReadModel m = rebuild_read_model(doc, in);
    benchmark::DoNotOptimize(m.messages.data());
    if (m.messages.size() != kMessageCount / kChannels ||
        m.people.size() != (lurker_is_self ? 21u : 20u))
      state.SkipWithError("wrong model");
  }
}
BENCHMARK_CAPTURE(BM_FullRebuild, full_scan, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FullRebuild, people_complete_early, true)->Unit(benchmark::kMillisecond);

// The same with every channel's messages read in full as well.
void BM_FullRebuildWithAllMessages(benchmark::State& state) {
  const crdt::Document& doc = big_document();
  const auto in = inputs(AllMessages::Read);
  for (auto _ : state) {
    ReadModel m = rebuild_read_model(doc, in);
    benchmark::DoNotOptimize(m.all_messages.data());
  }
}
BENCHMARK(BM_FullRebuildWithAllMessages)->Unit(benchmark::kMillisecond);

// What the catalogue reads on demand.
void BM_ReadAllMessages(benchmark::State& state) {
  const crdt::Document& doc = big_document();
  const ReadModel model = rebuild_read_model(doc, inputs(AllMessages::Skip));
  for (auto _ : state) {
    auto all = read_all_messages(doc, model.channels);
    benchmark::DoNotOptimize(all.data());
    if (all.size() != kMessageCount) state.SkipWithError("messages missing");
  }
}
BENCHMARK(BM_ReadAllMessages)->Unit(benchmark::kMillisecond);

void BM_UnchangedRebuild(benchmark::State& state) {
  const crdt::Document& doc = big_document();
  const auto in = inputs(AllMessages::Skip);
  ReadModelCache cache;
  cache.rebuild(doc, in);
  for (auto _ : state) {
    const ReadModel& m = cache.rebuild(doc, in);
    benchmark::DoNotOptimize(&m);
  }
  if (!cache.last_was_reused()) state.SkipWithError("cache was not reused");
}
BENCHMARK(BM_UnchangedRebuild)->Unit(benchmark::kMicrosecond);

// The duplicate-id check every posted message pays: an id no channel holds, so every list is
// read to its end.
void BM_MessageIdScan(benchmark::State& state) {
  const crdt::Document& doc = big_document();
  for (auto _ : state) {
    bool found = message_id_exists(doc, "m_absent");
    benchmark::DoNotOptimize(found);
    if (found) state.SkipWithError("absent id reported present");
  }
}
BENCHMARK(BM_MessageIdScan)->Unit(benchmark::kMillisecond);

// The same check through an index kept across posts, on an unchanged document (its first
// check, made before timing, pays one scan).
void BM_MessageIdIndexCheck(benchmark::State& state) {
  const crdt::Document& doc = big_document();
  MessageIdIndex index;
  if (index.contains(doc, "m_absent") || !index.contains(doc, "m_99999"))
    return state.SkipWithError("index disagrees with the document");
  for (auto _ : state) {
    bool found = index.contains(doc, "m_absent");
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_MessageIdIndexCheck)->Unit(benchmark::kMicrosecond);

void BM_CatalogBuild(benchmark::State& state) {
  const ReadModel model = rebuild_read_model(big_document(), inputs());
  for (auto _ : state) {
    auto provider = chat::search::make_provider(model, nullptr);
    benchmark::DoNotOptimize(provider.get());
  }
}
BENCHMARK(BM_CatalogBuild)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_Query(benchmark::State& state, const char* query) {
  const ReadModel model = rebuild_read_model(big_document(), inputs());
  auto provider = chat::search::make_provider(model, nullptr);
  for (auto _ : state) {
    auto results = provider->query(query, 1000);
    benchmark::DoNotOptimize(results.data());
  }
}
BENCHMARK_CAPTURE(BM_Query, rare_trigram, "channel-42")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Query, common_word, "shadow")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Query, short_fallback, "u_")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
