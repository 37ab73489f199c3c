// Endpoint: a UDP socket carrying QUIC connections, named by an Ed25519 key. It dials
// EndpointAddrs (checking the peer's key in the handshake) and hands accepted connections to the
// ProtocolHandler registered for their ALPN. All connection work runs on one strand of the
// runtime; dial and post may be called from any thread and never wait.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/result.h"
#include "platform/p2p/connection.h"
#include "platform/p2p/endpoint_addr.h"
#include "platform/p2p/keys.h"

namespace asio {
class io_context;
}

namespace p2p {

struct EndpointConfig {
  // "ip:port"; an unspecified address binds every interface.
  std::string bind = "0.0.0.0:0";
  // Addresses to publish ("ip:port", port 0 meaning the bound port). Empty: the bound address,
  // or for an unspecified bind address the addresses of the local interfaces.
  std::vector<std::string> advertise;
  // Unset: a fresh key pair, so the address changes with every start.
  std::optional<SecretKey> secret_key;
  ConnectionSettings connection;
};

using Router = std::map<std::string, std::shared_ptr<ProtocolHandler>, std::less<>>;

class EndpointCore;

class Endpoint {
 public:
  // Binds the socket (the only blocking step) and starts serving `router` on `io`.
  static zarn::Result<std::unique_ptr<Endpoint>> bind(asio::io_context& io, EndpointConfig config,
                                                      Router router);
  // Closes every connection. Waits a bounded time for the strand to do so.
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  const EndpointAddr& addr() const;
  const PublicKey& public_key() const;

  using DialCallback = std::function<void(zarn::Result<std::shared_ptr<Connection>>)>;
  // Connects to the first dialable address of `to` with `alpn`; `done` runs once on the strand,
  // with the connection after a handshake that proved `to.id`, or with the reason it failed.
  void dial(EndpointAddr to, std::string alpn, DialCallback done);
  void post(std::function<void()> fn);

 private:
  explicit Endpoint(std::shared_ptr<EndpointCore> core);
  std::shared_ptr<EndpointCore> core_;
};

// Addresses of the local interfaces that are up, loopback only when nothing else exists.
std::vector<std::string> local_interface_ips(bool want_v6);

}  // namespace p2p
