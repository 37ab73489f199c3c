// Loopback QUIC between PeerTransports in one process (127.0.0.1 only). This thread plays the UI
// thread of every transport: it sends on one and drains the other. Reports delivered frames/s and
// Mbit/s of encoded frames, one-way latency percentiles, and how long single send and drain calls
// took on this thread (bar: the longest under 1 ms; throughput bar: at least 200 Mbit/s).
// *_cpu_us is the calling thread's own CPU time for the slowest call: a wall time far above it
// means the thread was descheduled, not working; ivcsw counts involuntary context switches.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "media/peer_transport.h"

namespace chat::media {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

std::int64_t thread_cpu_ns() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

long involuntary_switches() {
  rusage ru{};
  getrusage(RUSAGE_THREAD, &ru);
  return ru.ru_nivcsw;
}

struct Pair {
  std::unique_ptr<PeerTransport> a, b;
};

Pair make_pair_connected(bool both_ways = false) {
  PeerTransport::Options o;
  o.bind = "127.0.0.1:0";
  Pair p{PeerTransport::create(o).value(), PeerTransport::create(o).value()};
  p.a->connect(p.b->ticket());
  if (both_ways) p.b->connect(p.a->ticket());
  return p;
}

// Wall time of every call, and the thread CPU time of the slowest one.
struct CallTimer {
  std::vector<std::int64_t> wall_ns;
  std::int64_t max_ns = 0;
  std::int64_t max_cpu_ns = 0;

  CallTimer() { wall_ns.reserve(1 << 20); }

  template <typename F>
  auto operator()(F f) {
    const auto c0 = thread_cpu_ns();
    const auto t0 = now_ns();
    auto r = f();
    const auto wall = now_ns() - t0;
    const auto cpu = thread_cpu_ns() - c0;
    wall_ns.push_back(wall);
    if (wall > max_ns) {
      max_ns = wall;
      max_cpu_ns = cpu;
    }
    return r;
  }

  double pct_us(double q) {
    if (wall_ns.empty()) return 0;
    auto at =
        wall_ns.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(wall_ns.size() - 1));
    std::nth_element(wall_ns.begin(), at, wall_ns.end());
    return static_cast<double>(*at) / 1e3;
  }

  void report(benchmark::State& state, const std::string& name) {
    state.counters[name + "_calls"] = static_cast<double>(wall_ns.size());
    state.counters[name + "_p50_us"] = pct_us(0.50);
    state.counters[name + "_p99_us"] = pct_us(0.99);
    state.counters[name + "_p999_us"] = pct_us(0.999);
    state.counters["max_" + name + "_us"] = static_cast<double>(max_ns) / 1e3;
    state.counters["max_" + name + "_cpu_us"] = static_cast<double>(max_cpu_ns) / 1e3;
    state.counters[name + "_over_1ms"] = static_cast<double>(
        std::count_if(wall_ns.begin(), wall_ns.end(), [](auto ns) { return ns > 1'000'000; }));
  }
};

void BM_QuicThroughput(benchmark::State& state) {
  const std::size_t payload = static_cast<std::size_t>(state.range(0));
  const std::size_t frames = payload <= 1024 ? 50000 : 4000;
  for (auto _ : state) {
    state.PauseTiming();
    Pair p = make_pair_connected();
    MediaFrame f;
    f.source = "u_bench";
    f.payload.assign(payload, 0x33);
    std::size_t delivered = 0;
    std::size_t bytes = 0;
    CallTimer send_timer, drain_timer;
    // Warm up: the first frame pays for the handshake.
    p.a->send(f);
    while (p.b->drain().empty()) std::this_thread::yield();
    state.ResumeTiming();

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(60);
    std::size_t sent = 0;
    while (delivered < frames && Clock::now() < deadline) {
      // At most one queue's worth in flight, so the receiving queue never has to drop.
      while (sent < frames && sent - delivered < kFrameQueueCapacity) {
        f.sequence = sent;
        if (!send_timer([&] { return p.a->send(f); })) break;
        ++sent;
      }
      auto got = drain_timer([&] { return p.b->drain(); });
      for (const auto& g : got) bytes += encoded_size(g);
      delivered += got.size();
      if (got.empty()) std::this_thread::yield();
    }
    const double secs = std::chrono::duration<double>(Clock::now() - start).count();
    state.PauseTiming();
    state.counters["frames_per_s"] = static_cast<double>(delivered) / secs;
    state.counters["Mbit_per_s"] = static_cast<double>(bytes) * 8 / secs / 1e6;
    state.counters["delivered"] = static_cast<double>(delivered);
    state.counters["lost"] = static_cast<double>(sent - delivered);
    send_timer.report(state, "send");
    drain_timer.report(state, "drain");
    p = {};
    state.ResumeTiming();
  }
}
BENCHMARK(BM_QuicThroughput)
    ->Arg(200)
    ->Arg(64 * 1024)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_QuicLatency(benchmark::State& state) {
  const std::size_t payload = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    Pair p = make_pair_connected();
    MediaFrame f;
    f.source = "u_bench";
    f.payload.assign(std::max<std::size_t>(payload, 8), 0);
    p.a->send(f);
    while (p.b->drain().empty()) std::this_thread::yield();
    std::vector<double> lat_us;
    CallTimer send_timer, drain_timer;
    for (int i = 0; i < 2000; ++i) {
      const std::int64_t t0 = now_ns();
      std::memcpy(f.payload.data(), &t0, sizeof t0);
      send_timer([&] { return p.a->send(f); });
      const auto deadline = Clock::now() + std::chrono::seconds(2);
      std::vector<MediaFrame> got;
      while (got.empty() && Clock::now() < deadline)
        got = drain_timer([&] { return p.b->drain(); });
      if (got.empty()) continue;
      std::int64_t sent_at = 0;
      std::memcpy(&sent_at, got[0].payload.data(), sizeof sent_at);
      lat_us.push_back(static_cast<double>(now_ns() - sent_at) / 1e3);
    }
    std::sort(lat_us.begin(), lat_us.end());
    auto pct = [&](double q) {
      return lat_us.empty() ? 0.0 : lat_us[static_cast<std::size_t>(q * (lat_us.size() - 1))];
    };
    state.counters["p50_us"] = pct(0.50);
    state.counters["p99_us"] = pct(0.99);
    state.counters["samples"] = static_cast<double>(lat_us.size());
    send_timer.report(state, "send");
    drain_timer.report(state, "drain");
  }
}
BENCHMARK(BM_QuicLatency)
    ->Arg(200)
    ->Arg(64 * 1024)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

MediaFrame call_frame(std::string source, MediaKind kind, std::size_t payload) {
  MediaFrame f;
  f.source = std::move(source);
  f.kind = kind;
  f.payload.assign(payload, 0x5A);
  return f;
}

// A two-party call as the UI thread sees it, for `range(0)` seconds: a 60 Hz frame loop in
// which each side sends 50 audio frames/s (200 B) and 30 camera frames/s (64 KiB) and drains
// once per frame. With range(1) = 1 (flood) there is no frame pacing: each loop both sides send
// 8 camera frames and drain once, as fast as the thread can, so queues run full and drop.
void BM_QuicCallOnUiThread(benchmark::State& state) {
  const auto seconds = std::chrono::seconds(state.range(0));
  const bool flood = state.range(1) != 0;
  for (auto _ : state) {
    Pair p = make_pair_connected(/*both_ways=*/true);
    MediaFrame audio_a = call_frame("u_alice", MediaKind::Microphone, 200);
    MediaFrame video_a = call_frame("u_alice", MediaKind::Camera, 64 * 1024);
    MediaFrame audio_b = call_frame("u_bob", MediaKind::Microphone, 200);
    MediaFrame video_b = call_frame("u_bob", MediaKind::Camera, 64 * 1024);
    // Both connections up before measuring: the first frame each way pays for the handshake.
    p.a->send(audio_a);
    p.b->send(audio_b);
    while (p.b->drain().empty()) std::this_thread::yield();
    while (p.a->drain().empty()) std::this_thread::yield();

    CallTimer send_timer, drain_timer;
    std::size_t sent = 0, refused = 0, received = 0;
    auto send = [&](PeerTransport& t, MediaFrame& f) {
      ++f.sequence;
      const bool ok = send_timer([&] { return t.send(f); });
      ++sent;
      refused += !ok;
    };
    auto drain = [&](PeerTransport& t) {
      received += drain_timer([&] { return t.drain(); }).size();
    };

    const long ivcsw0 = involuntary_switches();
    const auto start = Clock::now();
    const auto end = start + seconds;
    const auto tick = std::chrono::microseconds(16'667);
    auto next_audio = start, next_video = start, next_frame = start;
    while (Clock::now() < end) {
      if (flood) {
        for (int i = 0; i < 8; ++i) send(*p.a, video_a), send(*p.b, video_b);
      } else {
        std::this_thread::sleep_until(next_frame);
        next_frame += tick;
        const auto now = Clock::now();
        for (; next_audio <= now; next_audio += std::chrono::milliseconds(20)) {
          send(*p.a, audio_a), send(*p.b, audio_b);
        }
        for (; next_video <= now; next_video += std::chrono::microseconds(33'333)) {
          send(*p.a, video_a), send(*p.b, video_b);
        }
      }
      drain(*p.a);
      drain(*p.b);
    }
    const double secs = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["ivcsw"] = static_cast<double>(involuntary_switches() - ivcsw0);
    state.counters["sent_per_s"] = static_cast<double>(sent) / secs;
    state.counters["refused"] = static_cast<double>(refused);
    state.counters["received_per_s"] = static_cast<double>(received) / secs;
    send_timer.report(state, "send");
    drain_timer.report(state, "drain");
  }
}
BENCHMARK(BM_QuicCallOnUiThread)
    ->ArgNames({"secs", "flood"})
    ->Args({10, 0})
    ->Args({5, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace chat::media
