// Importing a 32 MiB file the way the application does: the UI thread starts the import, then
// runs frames (a drain, then up to 1 ms asleep unless a worker wakes it) until the message to
// post comes out. Reports the time from pick to drained result, and the longest time any single
// start or drain call held the calling thread. The stages of an import are timed alone below.
#include <benchmark/benchmark.h>
#include <sodium.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "attachments/attach_controller.h"
#include "attachments/import.h"
#include "platform/strata/fs_blob_store.h"

namespace {

namespace fs = std::filesystem;
namespace blobstore = strata::blobstore;
using Clock = std::chrono::steady_clock;

constexpr std::size_t k32MiB = 33554432;

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

struct TempFolder {
  TempFolder() {
    char tmpl[] = "/tmp/zarn-attach-bench-XXXXXX";
    if (::mkdtemp(tmpl) != nullptr) path = tmpl;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
  fs::path path;
};

// A picked file was written long before; flush this one and let the kernel's writeback finish
// so its work is not counted against the import.
void settle(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY);
  if (fd >= 0) {
    (void)::fdatasync(fd);
    ::close(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time of the calling thread, to tell work done in a call from time spent preempted (the
// worker and other processes share the two cores).
double thread_cpu_ms() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The longest wall and CPU time of the calls it timed.
struct CallTimes {
  double wall_ms = 0;
  double cpu_ms = 0;
  std::uint64_t over_2ms = 0;

  template <typename F>
  auto time(F&& f) {
    const auto t0 = Clock::now();
    const double c0 = thread_cpu_ms();
    auto r = f();
    const double cpu = thread_cpu_ms() - c0;
    const double wall = ms(Clock::now() - t0);
    wall_ms = std::max(wall_ms, wall);
    cpu_ms = std::max(cpu_ms, cpu);
    if (wall > 2.0) ++over_2ms;
    return r;
  }
  void report(benchmark::State& state) const {
    state.counters["longest_call_ms"] = wall_ms;
    state.counters["longest_call_cpu_ms"] = cpu_ms;
    state.counters["calls_over_2ms"] = static_cast<double>(over_2ms);
  }
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

  std::vector<char> bytes(k32MiB);
  std::mt19937_64 rng(42);
  for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    const std::uint64_t v = rng();
    std::memcpy(bytes.data() + i, &v, 8);
  }

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
    {
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    settle(file);

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
  calls.report(state);
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
std::vector<std::uint8_t> random_bytes(std::size_t n, std::uint64_t seed) {
  std::vector<std::uint8_t> bytes(n);
  std::mt19937_64 rng(seed);
  for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    const std::uint64_t v = rng();
    std::memcpy(bytes.data() + i, &v, 8);
  }
  return bytes;
}

void BM_ContentId32MiB(benchmark::State& state) {
  const auto bytes = random_bytes(k32MiB, 1);
  for (auto _ : state) benchmark::DoNotOptimize(blobstore::content_id_of(bytes));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * k32MiB));
}
BENCHMARK(BM_ContentId32MiB)->Unit(benchmark::kMillisecond);

void BM_SodiumSha256_32MiB(benchmark::State& state) {
  if (sodium_init() < 0) {
    state.SkipWithError("sodium_init failed");
    return;
  }
  const auto bytes = random_bytes(k32MiB, 1);
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
    auto bytes = random_bytes(k32MiB, 7);
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
    auto bytes = random_bytes(k32MiB, 7);
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
  const auto blob = blobstore::HashedBytes::of(random_bytes(k32MiB, 7));
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
  calls.report(state);
}
BENCHMARK(BM_List300Files)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
