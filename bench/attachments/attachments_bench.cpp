// Importing a 32 MiB file the way the application does: the UI thread starts the import, then
// runs frames (a drain, then up to 1 ms asleep unless a worker wakes it) until the message to
// post comes out. Reports the time from pick to drained result, and the longest time any single
// start or drain call held the calling thread. The stages of an import are timed alone below.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <vector>

#include "attachments/attach_controller.h"
#include "attachments/import.h"
#include "bench/support/pick_bench.h"
#include "platform/strata/fs_blob_store.h"

namespace {

namespace fs = std::filesystem;
namespace blobstore = strata::blobstore;

using zarn_bench::CallTimes;
using zarn_bench::Clock;
using zarn_bench::k32MiB;
using zarn_bench::random_bytes;
using zarn_bench::TempFolder;
using zarn_bench::write_settled;

void report(const CallTimes& calls, benchmark::State& state) {
  state.counters["longest_call_ms"] = calls.wall_ms;
  state.counters["longest_call_cpu_ms"] = calls.cpu_ms;
  state.counters["calls_over_2ms"] = static_cast<double>(calls.over_2ms);
}

class Wake {
 public:
  std::function<void()> callback() {
    return [this] {
      std::lock_guard lock(mu_);
      woken_ = true;
      cv_.notify_all();
    };
  }
  // A frame's idle wait: ends early when a worker signals.
  void idle(std::chrono::milliseconds most) {
    std::unique_lock lock(mu_);
    cv_.wait_for(lock, most, [&] { return woken_; });
    woken_ = false;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool woken_ = false;
};

void BM_Import32MiB(benchmark::State& state) {
  TempFolder tmp;
  if (tmp.path.empty()) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  auto store = std::make_shared<blobstore::FsBlobStore>(tmp.path / "store", std::uint64_t{64} << 20,
                                                        std::uint64_t{1} << 30, 1000, 10000);
  blobstore::set_store(store);
  fs::create_directories(tmp.path / "workspace");
  const fs::path file = tmp.path / "workspace" / "recording.mp4";

  std::vector<char> bytes = random_bytes<char>(k32MiB, 42);

  Wake wake;
  chat::attachments::AttachOptions options;
  options.folder = tmp.path / "workspace";
  options.wake = wake.callback();
  chat::attachments::AttachController controller(std::move(options));

  CallTimes calls;
  std::uint64_t frames = 0;
  std::uint64_t n = 0;
  for (auto _ : state) {
    // New bytes every round, so the store really writes them.
    ++n;
    std::memcpy(bytes.data(), &n, sizeof n);
    write_settled(file, bytes);

    const auto picked = Clock::now();
    const auto accepted = calls.time([&] {
      return controller.start_import("c_general", file.string(),
                                     chat::attachments::WriteAccess::Granted);
    });
    if (accepted != chat::attachments::ImportStart::Accepted) {
      state.SkipWithError("import refused");
      break;
    }
    bool posted = false;
    while (!posted) {
      const auto drained = calls.time(
          [&] { return controller.drain(chat::attachments::WriteAccess::Granted, "u_me"); });
      ++frames;
      if (drained.post) {
        posted = true;
        break;
      }
      if (!controller.pending_import()) {
        state.SkipWithError(controller.status().value_or("import failed").c_str());
        break;
      }
      wake.idle(std::chrono::milliseconds(1));
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - picked).count());
    if (!posted) break;
    // Keep the disk use flat between rounds.
    (void)store->evict_unreferenced({}, std::chrono::seconds(0));
  }
  report(calls, state);
  state.counters["frames_per_import"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(k32MiB));
  blobstore::set_store(nullptr);
}
BENCHMARK(BM_Import32MiB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(12);

// The import's stages on their own, on the worker alone (no UI loop), to show where the time
// goes: hashing 32 MiB (this store's hash, and libsodium's for comparison), storing bytes that
// are already hashed (write, flush, rename), comparing a stored blob with them, and all of
// import_file.

void BM_ContentId32MiB(benchmark::State& state) {
  const auto bytes = random_bytes<std::uint8_t>(k32MiB, 1);
  for (auto _ : state) benchmark::DoNotOptimize(blobstore::content_id_of(bytes));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * k32MiB));
}
BENCHMARK(BM_ContentId32MiB)->Unit(benchmark::kMillisecond);

void BM_SodiumSha256_32MiB(benchmark::State& state) {
  if (sodium_init() < 0) {
    state.SkipWithError("sodium_init failed");
    return;
  }
  const auto bytes = random_bytes<std::uint8_t>(k32MiB, 1);
  std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
  for (auto _ : state) {
    crypto_hash_sha256(digest.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * k32MiB));
}
BENCHMARK(BM_SodiumSha256_32MiB)->Unit(benchmark::kMillisecond);

struct StageFixture {
  StageFixture() {
    store = std::make_shared<blobstore::FsBlobStore>(tmp.path / "store", std::uint64_t{64} << 20,
                                                     std::uint64_t{1} << 30, 1000, 10000);
    fs::create_directories(tmp.path / "workspace");
  }
  // A fresh 32 MiB file, different from the last, so every round really stores its bytes.
  fs::path fresh_file(std::uint64_t round) {
    auto bytes = random_bytes<std::uint8_t>(k32MiB, 7);
    std::memcpy(bytes.data(), &round, sizeof round);
    const fs::path file = tmp.path / "workspace" / "recording.mp4";
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return file;
  }
  void evict() { (void)store->evict_unreferenced({}, std::chrono::seconds(0)); }

  TempFolder tmp;
  std::shared_ptr<blobstore::FsBlobStore> store;
};

void BM_PutHashed32MiB(benchmark::State& state) {
  StageFixture f;
  std::uint64_t round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto bytes = random_bytes<std::uint8_t>(k32MiB, 7);
    ++round;
    std::memcpy(bytes.data(), &round, sizeof round);
    const auto blob = blobstore::HashedBytes::of(bytes);
    f.evict();
    state.ResumeTiming();
    if (!f.store->put_hashed(blob)) state.SkipWithError("put refused");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * k32MiB));
}
BENCHMARK(BM_PutHashed32MiB)->Unit(benchmark::kMillisecond)->Iterations(12);

void BM_Matches32MiB(benchmark::State& state) {
  StageFixture f;
  const auto blob = blobstore::HashedBytes::of(random_bytes<std::uint8_t>(k32MiB, 7));
  if (!f.store->put_hashed(blob)) {
    state.SkipWithError("put refused");
    return;
  }
  for (auto _ : state) {
    auto same = f.store->matches(blob);
    if (!same || !*same) state.SkipWithError("stored bytes differ");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * k32MiB));
}
BENCHMARK(BM_Matches32MiB)->Unit(benchmark::kMillisecond);

void BM_ImportFile32MiB(benchmark::State& state) {
  StageFixture f;
  std::shared_ptr<blobstore::BlobStore> store = f.store;
  std::uint64_t round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path file = f.fresh_file(++round);
    f.evict();
    state.ResumeTiming();
    auto imported = chat::attachments::import_file(file, store);
    if (!imported) state.SkipWithError(imported.error().c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * k32MiB));
}
BENCHMARK(BM_ImportFile32MiB)->Unit(benchmark::kMillisecond)->Iterations(12);

// Opening the popover on a folder of 300 files until the listing is drained.
void BM_List300Files(benchmark::State& state) {
  TempFolder tmp;
  if (tmp.path.empty()) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const fs::path folder = tmp.path / "workspace";
  fs::create_directories(folder);
  for (int i = 0; i < 300; ++i) {
    std::ofstream(folder / ("file_" + std::to_string(i) + ".png")) << "x";
  }
  Wake wake;
  chat::attachments::AttachOptions options;
  options.folder = folder;
  options.wake = wake.callback();
  chat::attachments::AttachController controller(std::move(options));
  CallTimes calls;
  for (auto _ : state) {
    const auto opened = Clock::now();
    calls.time([&] {
      controller.open();
      return 0;
    });
    while (controller.listing_running()) {
      wake.idle(std::chrono::milliseconds(1));
      (void)calls.time(
          [&] { return controller.drain(chat::attachments::WriteAccess::Granted, "u_me"); });
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - opened).count());
    if (controller.entries().size() != 60) state.SkipWithError("listing incomplete");
  }
  report(calls, state);
}
BENCHMARK(BM_List300Files)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
