#include "media/transport_factory.h"

#include <cstdlib>
#include <sstream>

#include "media/loopback_transport.h"

namespace chat::media {
namespace {

bool is_set(const EnvLookup& env, const char* name) {
  const char* v = env(name);
  return v != nullptr && *v != '\0';
}

}  // namespace

std::optional<PeerTransport::Options> peer_options_from_env(const EnvLookup& env) {
  PeerTransport::Options options;
  const char* text = env("ZARN_CHAT_MEDIA_BIND");
  if (text == nullptr || *text == '\0') return options;
  std::stringstream in(text);
  std::string item;
  bool first = true;
  while (std::getline(in, item, ',')) {
    if (!p2p::parse_socket_addr(item)) return std::nullopt;
    if (first) {
      options.bind = item;
    } else {
      options.advertise.push_back(item);
    }
    first = false;
  }
  if (first) return std::nullopt;
  return options;
}

std::unique_ptr<MediaTransport> make_media_transport(const EnvLookup& env) {
  if (!is_set(env, "DBUS_SESSION_BUS_ADDRESS") && !is_set(env, "WAYLAND_DISPLAY")) {
    return std::make_unique<LoopbackTransport>();
  }
  auto options = peer_options_from_env(env);
  if (!options) return std::make_unique<LoopbackTransport>();
  auto peer = PeerTransport::create(std::move(*options));
  if (!peer) return std::make_unique<LoopbackTransport>();
  return std::move(peer).value();
}

std::unique_ptr<MediaTransport> make_media_transport() {
  return make_media_transport([](const char* name) { return std::getenv(name); });
}

}  // namespace chat::media
