// Applying one chat action to the workspace document. Apply never fails: an action whose
// target is missing, or that breaks an acceptance rule (a SendMessage over the limits, a string
// that is not UTF-8), writes nothing. Writes put only what differs, so an action that changes
// nothing leaves no pending operation. The caller commits. UI thread (the document's owner).
#pragma once

#include <cstddef>
#include <string_view>

#include "actions/chat_action.h"
#include "platform/crdt/document.h"

namespace chat::actions {

void apply(crdt::Document& doc, const ChatAction& action);

// Acceptance limits of SendMessage.
inline constexpr std::size_t kMaxMessageIdBytes = 128;
inline constexpr std::size_t kMaxMessageTextBytes = 65536;
inline constexpr std::size_t kMaxAttachmentNameBytes = 255;
inline constexpr std::uint32_t kMaxAttachmentPixels = 16384;
inline constexpr std::uint64_t kMaxAttachmentBytes = 32ull * 1024 * 1024;

// Whether SendMessage would write this message into the document as it is now.
bool send_message_acceptable(const crdt::Document& doc, const SendMessage& send);

}  // namespace chat::actions
