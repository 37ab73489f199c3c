// Feeds arbitrary bytes, in pieces whose sizes come from the input itself, to the stream reader.
// Splitting must never change the outcome: the same frames, drops and error as one feed.
#include <cstdlib>
#include <string>
#include <vector>

#include "media/frame_stream.h"

namespace {

struct Outcome {
  std::vector<chat::media::MediaFrame> frames;
  std::string error;
  std::size_t dropped = 0;
  bool operator==(const Outcome&) const = default;
};

void pull(chat::media::FrameStreamReader& r, Outcome& out) {
  for (;;) {
    auto next = r.next();
    if (!next) {
      out.error = next.error();
      return;
    }
    if (!next.value()) return;
    out.frames.push_back(std::move(*next.value()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t step = 1 + data[0] % 64;
  const std::uint8_t* body = data + 1;
  const std::size_t len = size - 1;

  chat::media::FrameStreamReader whole, pieces;
  Outcome a, b;
  whole.feed({body, len});
  pull(whole, a);
  a.dropped = whole.dropped();
  for (std::size_t off = 0; off < len; off += step) {
    pieces.feed({body + off, std::min(step, len - off)});
    pull(pieces, b);
  }
  b.dropped = pieces.dropped();
  if (!(a == b) || whole.buffered() != pieces.buffered()) std::abort();
  for (const auto& f : a.frames) {
    if (!chat::media::is_valid(f)) std::abort();
  }
  return 0;
}
