// Readers and writers of the workspace document's entities: workspaces, categories, channels,
// users, call members and read marks. Writers create nested maps on first use and put only the
// values that differ; readers apply the documented defaults. UI thread (the document's owner).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/records.h"
#include "platform/crdt/document.h"

namespace chat::document {

// Root keys.
inline constexpr std::string_view kSeeded = "seeded";
inline constexpr std::string_view kWorkspaces = "workspaces";
inline constexpr std::string_view kCategories = "categories";
inline constexpr std::string_view kChannels = "channels";
inline constexpr std::string_view kUsers = "users";
inline constexpr std::string_view kMessages = "messages";
inline constexpr std::string_view kVoice = "voice";
inline constexpr std::string_view kDrafts = "drafts";
inline constexpr std::string_view kRead = "read";

std::string_view presence_name(Presence presence);
// "idle", "dnd" and "offline" name those presences; anything else is online.
Presence presence_from_name(std::string_view name);
// Only "voice" makes a voice channel.
ChannelKind channel_kind_from_name(std::string_view name);
std::string_view channel_kind_name(ChannelKind kind);

bool is_seeded(const crdt::Document& doc);

void write_workspace(crdt::Document& doc, const WorkspaceRecord& ws);
void write_category(crdt::Document& doc, const CategoryRecord& cat);
// A voice channel also gets its (empty) entry under "voice". "archived" stays absent until true.
void write_channel(crdt::Document& doc, const ChannelRecord& ch);
// "agent" stays absent unless true or already stored.
void write_user(crdt::Document& doc, const UserRecord& user);
// Puts name, initials, color_idx and status, each only when it differs from the stored value.
void upsert_user(crdt::Document& doc, std::string_view id, std::string_view name,
                 std::string_view initials, std::int64_t color_idx, Presence presence);

// Creates the member map with every flag false unless it already has a "talking" value.
void join_call(crdt::Document& doc, std::string_view channel, std::string_view user);
struct CallState {
  bool talking = false;
  bool muted = false;
  bool deafened = false;
  bool audio_only = false;
};
// Creates the member map without defaults when missing; "sharing" is left alone.
void set_call_state(crdt::Document& doc, std::string_view channel, std::string_view user,
                    const CallState& state);

std::optional<WorkspaceRecord> read_workspace(const crdt::Document& doc, std::string_view id);
std::optional<CategoryRecord> read_category(const crdt::Document& doc, std::string_view id);
std::optional<ChannelRecord> read_channel(const crdt::Document& doc, std::string_view id);
std::optional<UserRecord> read_user(const crdt::Document& doc, std::string_view id);

// Every entity whose value is a map, in the document's key order (ascending bytes).
std::vector<WorkspaceRecord> read_workspaces(const crdt::Document& doc);
std::vector<CategoryRecord> read_categories(const crdt::Document& doc);
std::vector<ChannelRecord> read_channels(const crdt::Document& doc);
std::vector<UserRecord> read_users(const crdt::Document& doc);
// Members of one voice channel in ascending user id.
std::vector<CallMemberRecord> read_call_members(const crdt::Document& doc,
                                                std::string_view channel);

// read[user][channel]; 0 when absent.
std::int64_t read_mark(const crdt::Document& doc, std::string_view user, std::string_view channel);

}  // namespace chat::document
