// Chooses and builds the application's one media transport. With a desktop bus or a display
// (DBUS_SESSION_BUS_ADDRESS or WAYLAND_DISPLAY) it binds a PeerTransport; otherwise, or when the
// runtime or the bind fails, it quietly returns a LoopbackTransport. ZARN_CHAT_MEDIA_BIND sets
// "bind_ip:port[,advertised_ip:port...]" (default every interface, advertising their addresses).
// Called once on the UI thread; blocks only while binding.
#pragma once

#include <functional>
#include <memory>

#include "media/media_transport.h"
#include "media/peer_transport.h"

namespace chat::media {

using EnvLookup = std::function<const char*(const char*)>;

// Nothing when the variable's text does not parse.
std::optional<PeerTransport::Options> peer_options_from_env(const EnvLookup& env);

std::unique_ptr<MediaTransport> make_media_transport(const EnvLookup& env);
std::unique_ptr<MediaTransport> make_media_transport();

}  // namespace chat::media
