#include "media/media_protocol.h"

#include "media/frame_stream.h"

namespace chat::media {
namespace {

class MediaStreamReader final : public p2p::StreamHandler {
 public:
  explicit MediaStreamReader(std::shared_ptr<FrameQueue> incoming)
      : incoming_(std::move(incoming)) {}

  zarn::Result<void> on_stream_data(std::int64_t stream, std::span<const std::uint8_t> data,
                                    bool fin) override {
    // One stream per connection carries media; anything else a peer opens is ignored.
    if (stream_ < 0) stream_ = stream;
    if (stream != stream_ || ended_) return zarn::ok();
    reader_.feed(data);
    for (;;) {
      auto next = reader_.next();
      if (!next) return end(std::move(next).take_error());
      if (!next.value()) break;
      if (incoming_->try_push(std::move(*next.value())) == Offer::Closed) {
        return end(zarn::make_error("media transport closed"));
      }
    }
    // A frame cut short by the end of the stream is dropped; the stream simply ends.
    if (fin) ended_ = true;
    return zarn::ok();
  }

 private:
  zarn::Result<void> end(zarn::Error error) {
    ended_ = true;
    return error;
  }

  std::shared_ptr<FrameQueue> incoming_;
  FrameStreamReader reader_;
  std::int64_t stream_ = -1;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<p2p::StreamHandler> MediaProtocol::accept(const std::shared_ptr<p2p::Connection>&) {
  return std::make_unique<MediaStreamReader>(incoming_);
}

}  // namespace chat::media
