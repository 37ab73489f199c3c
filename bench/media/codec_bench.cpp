// Media frame encode + decode throughput (bar: at least 1 GB/s for 1 MiB payloads).
#include <benchmark/benchmark.h>

#include "media/frame_stream.h"
#include "media/media_frame.h"

namespace chat::media {
namespace {

MediaFrame frame_of(std::size_t payload) {
  MediaFrame f;
  f.source = "u_0123456789abcdef";
  f.kind = MediaKind::Camera;
  f.sequence = 42;
  f.timestamp = {1700000000, 123'000'000};
  f.payload.assign(payload, 0x5A);
  return f;
}

void BM_EncodeDecode(benchmark::State& state) {
  const MediaFrame frame = frame_of(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto bytes = encode_frame(frame);
    auto back = decode_frame(bytes.value());
    benchmark::DoNotOptimize(back);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(encoded_size(frame)));
}
BENCHMARK(BM_EncodeDecode)->Arg(200)->Arg(1 << 20);

void BM_StreamRead(benchmark::State& state) {
  const MediaFrame frame = frame_of(static_cast<std::size_t>(state.range(0)));
  std::vector<std::uint8_t> stream;
  for (int i = 0; i < 16; ++i) append_stream_record(stream, encode_frame(frame).value());
  for (auto _ : state) {
    FrameStreamReader reader;
    // Arrives in QUIC-sized pieces, as from the network.
    for (std::size_t off = 0; off < stream.size(); off += 16384) {
      reader.feed({stream.data() + off, std::min<std::size_t>(16384, stream.size() - off)});
      for (;;) {
        auto next = reader.next();
        if (!next.value()) break;
        benchmark::DoNotOptimize(next);
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_StreamRead)->Arg(200)->Arg(1 << 20);

}  // namespace
}  // namespace chat::media
