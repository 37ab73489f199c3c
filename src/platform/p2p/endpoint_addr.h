// EndpointAddr: how to reach an endpoint (its public key plus transport addresses), and its JSON
// text form {"id": "<key>", "addrs": [{"Ip": "addr:port"} | {"Relay": "<url>"} |
// {"Custom": {"id": <n>, "data": [<bytes>]}}]}. Relay and Custom addresses round-trip but
// cannot be dialled here. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/base/result.h"
#include "platform/p2p/keys.h"

namespace p2p {

struct RelayAddr {
  std::string url;
  friend bool operator==(const RelayAddr&, const RelayAddr&) = default;
};
struct IpAddr {
  std::string text;  // "192.0.2.1:4433" or "[2001:db8::1]:4433"
  friend bool operator==(const IpAddr&, const IpAddr&) = default;
};
struct CustomAddr {
  std::uint64_t id = 0;
  std::vector<std::uint8_t> data;
  friend bool operator==(const CustomAddr&, const CustomAddr&) = default;
};
using TransportAddr = std::variant<RelayAddr, IpAddr, CustomAddr>;

struct EndpointAddr {
  PublicKey id;
  std::vector<TransportAddr> addrs;
  friend bool operator==(const EndpointAddr&, const EndpointAddr&) = default;
};

struct SocketAddr {
  std::string ip;  // without brackets
  std::uint16_t port = 0;
};

// "a.b.c.d:port" or "[v6]:port"; the address must be numeric.
std::optional<SocketAddr> parse_socket_addr(std::string_view text);
std::string format_socket_addr(const SocketAddr& addr);

std::string to_json(const EndpointAddr& addr);
zarn::Result<EndpointAddr> parse_endpoint_addr(std::string_view json);

}  // namespace p2p
