#include "i18n/catalog.h"

namespace chat::i18n {
namespace {

constexpr std::string_view kEnUs =
    "# Chat — user-facing strings.\n"
    "\n"
    "# Marker beside a participant in the `@` picker that is an agent rather than a\n"
    "# person, so somebody can tell at a glance that they are addressing software.\n"
    "chat-mention-agent-tag = agent\n"
    "\n"
    "# Status line under the user's own name in the sidebar's identity bar.\n"
    "chat-identity-available = Available\n"
    "chat-identity-in-voice = In voice\n"
    "\n"
    "# Chip under the workspace title that adds a channel category.\n"
    "chat-sidebar-add-category = \uFF0B Category\n"
    "\n"
    "# Control buttons along the bottom of the expanded call overlay.\n"
    "chat-call-mute = Mute\n"
    "chat-call-unmute = Unmute\n"
    "chat-call-deafen = Deafen\n"
    "chat-call-undeafen = Undeafen\n"
    "chat-call-audio-only = Audio only\n"
    "chat-call-collapse = Collapse\n"
    "chat-call-leave = Leave\n";

constexpr zarn_ui::CatalogSource kSources[] = {{"en-US", kEnUs}};

constexpr zarn_ui::EmbeddedCatalog kCatalog{"en-US", kSources, "chat-mention-agent-tag"};

}  // namespace

std::string_view en_us_source() {
  return kEnUs;
}

const zarn_ui::EmbeddedCatalog& catalog() {
  return kCatalog;
}

std::string t(std::string_view key) {
  return kCatalog.t(key);
}

}  // namespace chat::i18n
