#include "media/transport_factory.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace chat::media {
namespace {

EnvLookup env_of(std::map<std::string, std::string> vars) {
  return [vars = std::move(vars)](const char* name) -> const char* {
    auto it = vars.find(name);
    return it == vars.end() ? nullptr : it->second.c_str();
  };
}

TEST(TransportFactory, ChoosesByDesktopEnvironmentAndFallsBack) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> env;
    bool peer;
  };
  const Case cases[] = {
      {"no bus, no display", {{"ZARN_CHAT_MEDIA_BIND", "127.0.0.1:0"}}, false},
      {"empty values count as unset",
       {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"ZARN_CHAT_MEDIA_BIND", "127.0.0.1:0"}},
       false},
      {"desktop bus",
       {{"DBUS_SESSION_BUS_ADDRESS", "unix:x"}, {"ZARN_CHAT_MEDIA_BIND", "127.0.0.1:0"}},
       true},
      {"wayland",
       {{"WAYLAND_DISPLAY", "wayland-0"}, {"ZARN_CHAT_MEDIA_BIND", "127.0.0.1:0"}},
       true},
      {"unparsable bind", {{"WAYLAND_DISPLAY", "w"}, {"ZARN_CHAT_MEDIA_BIND", "localhost"}}, false},
      // 192.0.2.1 (TEST-NET) is not local, so the bind fails without sending anything.
      {"bind fails", {{"WAYLAND_DISPLAY", "w"}, {"ZARN_CHAT_MEDIA_BIND", "192.0.2.1:0"}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto t = make_media_transport(env_of(c.env));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->is_peer_to_peer(), c.peer);
    if (!c.peer) {
      EXPECT_EQ(t->ticket(), "sim://local");
    }
  }
}

TEST(TransportFactory, BindVariableSetsAdvertisedAddresses) {
  auto options = peer_options_from_env(
      env_of({{"ZARN_CHAT_MEDIA_BIND", "127.0.0.1:0,127.0.0.1:0,[::1]:4000"}}));
  ASSERT_TRUE(options);
  EXPECT_EQ(options->bind, "127.0.0.1:0");
  EXPECT_EQ(options->advertise, (std::vector<std::string>{"127.0.0.1:0", "[::1]:4000"}));

  auto t = make_media_transport(
      env_of({{"WAYLAND_DISPLAY", "w"}, {"ZARN_CHAT_MEDIA_BIND", "127.0.0.1:0,127.0.0.1:0"}}));
  ASSERT_TRUE(t->is_peer_to_peer());
  auto addr = p2p::parse_endpoint_addr(t->ticket());
  ASSERT_TRUE(addr);
  ASSERT_EQ(addr->addrs.size(), 1u);
  // Port 0 in an advertised address stands for the bound port.
  EXPECT_NE(std::get<p2p::IpAddr>(addr->addrs[0]).text, "127.0.0.1:0");

  auto defaults = peer_options_from_env(env_of({}));
  ASSERT_TRUE(defaults);
  EXPECT_EQ(defaults->bind, "0.0.0.0:0");
  EXPECT_TRUE(defaults->advertise.empty());
  EXPECT_FALSE(peer_options_from_env(env_of({{"ZARN_CHAT_MEDIA_BIND", "127.0.0.1:0,bad"}})));
}

}  // namespace
}  // namespace chat::media
