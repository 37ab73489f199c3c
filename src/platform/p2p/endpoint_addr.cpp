#include "platform/p2p/endpoint_addr.h"

#include <arpa/inet.h>

#include <charconv>
#include <nlohmann/json.hpp>

namespace p2p {
namespace {

using Json = nlohmann::ordered_json;

bool is_numeric_ip(const std::string& ip, int family) {
  unsigned char buf[16];
  return inet_pton(family, ip.c_str(), buf) == 1;
}

zarn::Result<TransportAddr> parse_transport_addr(const Json& j) {
  if (!j.is_object() || j.size() != 1) {
    return zarn::make_error("transport address must be an object with one key");
  }
  const auto entry = j.begin();
  const std::string& key = entry.key();
  const Json& value = entry.value();
  if (key == "Ip") {
    if (!value.is_string()) return zarn::make_error("Ip address must be text");
    auto text = value.get<std::string>();
    if (!parse_socket_addr(text)) return zarn::make_error("bad socket address: " + text);
    return TransportAddr(IpAddr{std::move(text)});
  }
  if (key == "Relay") {
    if (!value.is_string()) return zarn::make_error("Relay address must be text");
    return TransportAddr(RelayAddr{value.get<std::string>()});
  }
  if (key == "Custom") {
    if (!value.is_object() || value.size() != 2 || !value.contains("id") ||
        !value.contains("data") || !value["id"].is_number_unsigned() || !value["data"].is_array()) {
      return zarn::make_error("Custom address must be {\"id\": n, \"data\": [bytes]}");
    }
    CustomAddr custom{value["id"].get<std::uint64_t>(), {}};
    for (const auto& b : value["data"]) {
      if (!b.is_number_unsigned() || b.get<std::uint64_t>() > 255) {
        return zarn::make_error("Custom address bytes must be 0..255");
      }
      custom.data.push_back(static_cast<std::uint8_t>(b.get<std::uint64_t>()));
    }
    return TransportAddr(std::move(custom));
  }
  return zarn::make_error("unknown transport address kind: " + key);
}

}  // namespace

std::optional<SocketAddr> parse_socket_addr(std::string_view text) {
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos || colon + 1 == text.size()) return std::nullopt;
  std::string_view host = text.substr(0, colon);
  const std::string_view port_text = text.substr(colon + 1);
  unsigned port = 0;
  const auto [end, ec] =
      std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
  if (ec != std::errc() || end != port_text.data() + port_text.size() || port > 65535) {
    return std::nullopt;
  }
  SocketAddr out;
  out.port = static_cast<std::uint16_t>(port);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    out.ip = std::string(host.substr(1, host.size() - 2));
    if (!is_numeric_ip(out.ip, AF_INET6)) return std::nullopt;
  } else {
    out.ip = std::string(host);
    if (!is_numeric_ip(out.ip, AF_INET)) return std::nullopt;
  }
  return out;
}

std::string format_socket_addr(const SocketAddr& addr) {
  const bool v6 = addr.ip.find(':') != std::string::npos;
  return (v6 ? "[" + addr.ip + "]" : addr.ip) + ":" + std::to_string(addr.port);
}

std::string to_json(const EndpointAddr& addr) {
  Json addrs = Json::array();
  for (const auto& a : addr.addrs) {
    if (const auto* relay = std::get_if<RelayAddr>(&a)) {
      addrs.push_back({{"Relay", relay->url}});
    } else if (const auto* ip = std::get_if<IpAddr>(&a)) {
      addrs.push_back({{"Ip", ip->text}});
    } else {
      const auto& custom = std::get<CustomAddr>(a);
      addrs.push_back({{"Custom", {{"id", custom.id}, {"data", custom.data}}}});
    }
  }
  Json j = {{"id", to_text(addr.id)}, {"addrs", std::move(addrs)}};
  return j.dump();
}

zarn::Result<EndpointAddr> parse_endpoint_addr(std::string_view json) {
  const Json j = Json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (j.is_discarded()) return zarn::make_error("endpoint address is not JSON");
  if (!j.is_object() || j.size() != 2 || !j.contains("id") || !j.contains("addrs")) {
    return zarn::make_error("endpoint address must hold exactly \"id\" and \"addrs\"");
  }
  if (!j["id"].is_string()) return zarn::make_error("endpoint id must be text");
  const auto key = parse_public_key(j["id"].get<std::string>());
  if (!key) return zarn::make_error("endpoint id is not a public key");
  if (!j["addrs"].is_array()) return zarn::make_error("endpoint addrs must be a list");
  EndpointAddr out{*key, {}};
  for (const auto& a : j["addrs"]) {
    auto parsed = parse_transport_addr(a);
    if (!parsed) return std::move(parsed).take_error();
    out.addrs.push_back(std::move(parsed).value());
  }
  return out;
}

}  // namespace p2p
