// MediaTransport: how call code sends media frames to peers and receives theirs. Two
// implementations share it (PeerTransport over QUIC, LoopbackTransport without network).
// Every operation is called from the UI thread and returns without waiting for the network.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "media/media_frame.h"

namespace chat::media {

inline constexpr std::size_t kFrameQueueCapacity = 128;
inline constexpr std::size_t kMaxDrainFrames = 64;

class MediaTransport {
 public:
  virtual ~MediaTransport() = default;

  virtual bool is_peer_to_peer() const = 0;
  // The text other participants pass to `connect` to reach this one.
  virtual std::string ticket() const = 0;
  // Makes sure frames will be delivered to the participant behind `ticket`.
  virtual bool connect(const std::string& ticket) = 0;
  virtual void publish(MediaKind kind) = 0;
  virtual void unpublish(MediaKind kind) = 0;
  virtual void subscribe(const std::string& source, MediaKind kind) = 0;
  // True when at least one peer (or the local queue) took the frame.
  virtual bool send(const MediaFrame& frame) = 0;
  // Arrived frames, oldest first, at most kMaxDrainFrames per call.
  virtual std::vector<MediaFrame> drain() = 0;

  // Bookkeeping only: neither sending nor receiving consults these lists.
  const std::vector<MediaKind>& published() const { return published_; }
  const std::vector<std::pair<std::string, MediaKind>>& subscriptions() const {
    return subscriptions_;
  }

 protected:
  std::vector<MediaKind> published_;
  std::vector<std::pair<std::string, MediaKind>> subscriptions_;
};

// Shared list upkeep for the publish/unpublish/subscribe operations of both implementations.
void add_published(std::vector<MediaKind>& kinds, MediaKind kind);
void remove_published(std::vector<MediaKind>& kinds, MediaKind kind);
void add_subscription(std::vector<std::pair<std::string, MediaKind>>& subs,
                      const std::string& source, MediaKind kind);

}  // namespace chat::media
