#include "platform/p2p/endpoint_addr.h"

#include <gtest/gtest.h>

namespace p2p {
namespace {

TEST(Keys, TextFormRoundTripsAndRejectsNonKeys) {
  const auto pk = public_key_of(generate_secret_key());
  const auto text = to_text(pk);
  EXPECT_EQ(text.size(), 64u);
  EXPECT_EQ(parse_public_key(text), pk);
  for (std::string bad : {std::string(), text.substr(1), text + "0", std::string(63, '0') + "g",
                          std::string(64, 'A')}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(parse_public_key(bad));
  }
}

TEST(Keys, SameSeedSameKeyDifferentSeedsDiffer) {
  const auto a = generate_secret_key();
  const auto b = generate_secret_key();
  EXPECT_EQ(public_key_of(a), public_key_of(a));
  EXPECT_NE(public_key_of(a), public_key_of(b));
}

TEST(EndpointAddr, JsonRoundTripsEveryAddressKind) {
  EndpointAddr addr;
  addr.id = public_key_of(generate_secret_key());
  addr.addrs = {IpAddr{"127.0.0.1:4433"}, IpAddr{"[::1]:9"}, RelayAddr{"https://relay.example/"},
                CustomAddr{7, {0, 1, 255}}};
  const std::string json = to_json(addr);
  EXPECT_NE(json.find(R"("Ip":"127.0.0.1:4433")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("Relay":"https://relay.example/")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("Custom":{"id":7,"data":[0,1,255]})"), std::string::npos) << json;
  EXPECT_EQ(json.rfind(R"({"id":")", 0), 0u) << json;
  auto back = parse_endpoint_addr(json);
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(back.value(), addr);
}

TEST(EndpointAddr, RejectsWhatDoesNotFitTheSchema) {
  const std::string id = to_text(public_key_of(generate_secret_key()));
  const std::string cases[] = {
      "",
      "sim://local",
      "[]",
      R"({"id":")" + id + R"("})",
      R"({"addrs":[]})",
      R"({"id":"nothex","addrs":[]})",
      R"({"id":7,"addrs":[]})",
      R"({"id":")" + id + R"(","addrs":{}})",
      R"({"id":")" + id + R"(","addrs":[],"extra":1})",
      R"({"id":")" + id + R"(","addrs":[{"Ip":"127.0.0.1"}]})",
      R"({"id":")" + id + R"(","addrs":[{"Ip":"example.com:80"}]})",
      R"({"id":")" + id + R"(","addrs":[{"Ip":"127.0.0.1:70000"}]})",
      R"({"id":")" + id + R"(","addrs":[{"Ip":"::1:80"}]})",
      R"({"id":")" + id + R"(","addrs":[{"Ip":"127.0.0.1:1","Relay":"x"}]})",
      R"({"id":")" + id + R"(","addrs":[{"Tor":"x"}]})",
      R"({"id":")" + id + R"(","addrs":[{"Custom":{"id":1,"data":[256]}}]})",
      R"({"id":")" + id + R"(","addrs":[{"Custom":{"id":-1,"data":[]}}]})",
      R"({"id":")" + id + R"(","addrs":[{"Relay":5}]})",
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c);
    EXPECT_FALSE(parse_endpoint_addr(c));
  }
  EXPECT_TRUE(parse_endpoint_addr(R"({"id":")" + id + R"(","addrs":[]})"));
}

TEST(SocketAddr, ParsesNumericV4AndBracketedV6) {
  auto v4 = parse_socket_addr("10.1.2.3:80");
  ASSERT_TRUE(v4);
  EXPECT_EQ(v4->ip, "10.1.2.3");
  EXPECT_EQ(v4->port, 80);
  auto v6 = parse_socket_addr("[fe80::1]:65535");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->ip, "fe80::1");
  EXPECT_EQ(format_socket_addr(*v6), "[fe80::1]:65535");
  EXPECT_FALSE(parse_socket_addr("10.1.2.3:"));
  EXPECT_FALSE(parse_socket_addr("10.1.2.3:-1"));
  EXPECT_FALSE(parse_socket_addr(":80"));
}

}  // namespace
}  // namespace p2p
