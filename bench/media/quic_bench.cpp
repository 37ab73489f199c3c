// Loopback QUIC between two PeerTransports in one process (127.0.0.1 only). This thread plays
// the UI thread of both: it sends on one and drains the other. Reports delivered frames/s and
// Mbit/s of encoded frames, one-way latency percentiles, and the longest single send or drain
// call (bar: under 1 ms; throughput bar: at least 200 Mbit/s). The sender keeps at most 128
// frames in flight, the receiving queue's capacity, so throughput is measured without drops.
#include <benchmark/benchmark.h>

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

struct Pair {
  std::unique_ptr<PeerTransport> a, b;
};

Pair make_pair_connected() {
  PeerTransport::Options o;
  o.bind = "127.0.0.1:0";
  Pair p{PeerTransport::create(o).value(), PeerTransport::create(o).value()};
  p.a->connect(p.b->ticket());
  return p;
}

struct CallTimer {
  std::int64_t max_ns = 0;
  template <typename F>
  auto operator()(F f) {
    const auto t0 = now_ns();
    auto r = f();
    max_ns = std::max(max_ns, now_ns() - t0);
    return r;
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
    state.counters["max_send_us"] = static_cast<double>(send_timer.max_ns) / 1e3;
    state.counters["max_drain_us"] = static_cast<double>(drain_timer.max_ns) / 1e3;
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
    state.counters["max_send_us"] = static_cast<double>(send_timer.max_ns) / 1e3;
    state.counters["max_drain_us"] = static_cast<double>(drain_timer.max_ns) / 1e3;
  }
}
BENCHMARK(BM_QuicLatency)
    ->Arg(200)
    ->Arg(64 * 1024)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace chat::media
