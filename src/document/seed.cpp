#include "document/seed.h"

#include <string>
#include <vector>

#include "document/access.h"
#include "document/entities.h"
#include "document/ids.h"
#include "document/messages.h"

namespace chat::document {

namespace {

using crdt::ObjId;

constexpr std::int64_t T = kDemoBaseTime;

// Marks the document seeded; false when it already was.
bool begin_seeding(crdt::Document& doc) {
  if (is_seeded(doc)) return false;
  put_bool(doc, ObjId::root(), kSeeded, true);
  return true;
}

// First letter of each of the name's first two words.
std::string initials_of(std::string_view name) {
  std::string out;
  bool at_word_start = true;
  for (char c : name) {
    if (c == ' ') {
      at_word_start = true;
    } else if (at_word_start) {
      out += c;
      at_word_start = false;
      if (out.size() == 2) break;
    }
  }
  return out;
}

UserRecord person(std::string id, std::string name, std::int64_t color, Presence status) {
  std::string initials = initials_of(name);
  return UserRecord{std::move(id), std::move(name), std::move(initials), color, status, false};
}

ChannelRecord text_channel(std::string id, std::string ws, std::string cat, std::string name,
                           std::string topic, std::int64_t order) {
  return ChannelRecord{std::move(id),    std::move(ws),     std::move(cat), std::move(name),
                       std::move(topic), ChannelKind::Text, order,          false};
}

ChannelRecord voice_channel(std::string id, std::string ws, std::string cat, std::string name,
                            std::int64_t order) {
  return ChannelRecord{std::move(id),      std::move(ws), std::move(cat), std::move(name), "",
                       ChannelKind::Voice, order,         false};
}

MessageRecord message(std::string id, std::string author, std::int64_t ts, std::string text,
                      std::vector<ReactionGroup> reactions = {}) {
  MessageRecord m;
  m.id = std::move(id);
  m.author = std::move(author);
  m.ts = ts;
  m.text = std::move(text);
  m.reactions = std::move(reactions);
  return m;
}

MessageRecord reply(std::string parent, std::string author, std::int64_t ts, std::string text,
                    std::vector<ReactionGroup> reactions = {}) {
  MessageRecord m =
      message(mint_id("m_"), std::move(author), ts, std::move(text), std::move(reactions));
  m.parent = std::move(parent);
  return m;
}

void write_demo_messages(crdt::Document& doc) {
  std::vector<MessageRecord> crit;
  crit.push_back(message("m_open", "u_lena", T,
                         "Morning! Pushed the new call overlay mock — pulling tiles into a 2x2 "
                         "grid reads way calmer than the old filmstrip.",
                         {{"🎉", {"u_me", "u_owen"}}}));
  MessageRecord concept_msg =
      message("m_concept", "u_lena", T + 60,
              "Here's the frame — the host tile keeps the live camera, everyone else collapses "
              "to chips when they're audio-only.",
              {{"❤️", {"u_me", "u_nina", "u_owen"}}, {"🔥", {"u_theo"}}});
  concept_msg.attachment =
      ImageAttachment{"call-overlay-v3.png", "zarn-demo://call-grid", 640, 360};
  crit.push_back(std::move(concept_msg));
  crit.push_back(message("m_me1", "u_me", T + 300,
                         "Love it. One ask: can the 'follow the host' affordance live on the host "
                         "tile itself instead of the controls bar?"));
  crit.push_back(message("m_owen", "u_owen", T + 720,
                         "+1 — and we should read every colour from the OS theme so it matches "
                         "whatever the cluster is themed to.",
                         {{"👍", {"u_me", "u_lena"}}}));
  MessageRecord theo = message("m_theo", "u_theo", T + 1560,
                               "Dropping the transport notes here so they don't get lost.");
  theo.attachment = FileAttachment{"moq-over-iroh.md", "demo:moq-over-iroh", 18944};
  crit.push_back(std::move(theo));
  MessageRecord clip = message("m_clip", "u_nina", T + 1920,
                               "Screen recording of the tile-promotion motion — this is the feel "
                               "I'm after:",
                               {{"🔥", {"u_me", "u_lena"}}});
  clip.attachment =
      VideoAttachment{"tile-promotion.webm", "demo:tile-promotion", 1280, 720, 6815744};
  crit.push_back(std::move(clip));
  MessageRecord nina = message("m_nina", "u_nina", T + 3300,
                               "Wired the screen-share stage — whoever presents gets a big "
                               "featured tile and everyone else drops to the filmstrip beneath "
                               "it. Reads really cleanly.",
                               {{"🚀", {"u_me", "u_lena", "u_owen", "u_theo"}}, {"👀", {"u_mara"}}});
  nina.edited = true;
  nina.history.push_back(HistoryEntry{T + 3180,
                                      "Wired up screen-share — the presenter gets a featured "
                                      "tile, everyone else goes to a filmstrip."});
  crit.push_back(std::move(nina));
  crit.push_back(message("m_me2", "u_me", T + 3480,
                         "That's the one. Starting a huddle to walk through the grid — jump in."));

  crit.push_back(reply("m_concept", "u_owen", T + 180,
                       "Should the chips show a mic-level ring when someone's talking?"));
  crit.push_back(reply("m_concept", "u_lena", T + 240,
                       "Yeah — a thin accent ring that pulses. I'll draft the motion token.",
                       {{"👍", {"u_me"}}}));
  crit.push_back(
      reply("m_concept", "u_me", T + 360, "Perfect, that keeps the audio-only state legible."));
  for (const MessageRecord& m : crit) write_message(doc, "c_crit", m);

  write_message(doc, "c_general",
                message(mint_id("m_"), "u_mara", T - 7440,
                        "Welcome to Acme Design on Zarn 👋 Channels relate to the workspace "
                        "you're standing in — switch workspaces from the rail on the left.",
                        {{"👋", {"u_me", "u_lena", "u_owen"}}}));
}

}  // namespace

void write_starter_content(crdt::Document& doc, const LocalUser& local) {
  if (!begin_seeding(doc)) return;
  write_user(doc, UserRecord{local.id, local.name, local.initials, 0, Presence::Online, false});
  write_workspace(doc, WorkspaceRecord{"ws_home", "My Workspace", "MW", 0, 0});
  write_category(doc, CategoryRecord{"cat_home_text", "ws_home", "Channels", 0, false});
  write_category(doc, CategoryRecord{"cat_home_voice", "ws_home", "Voice", 1, false});
  write_channel(doc, text_channel("c_general", "ws_home", "cat_home_text", "general", "", 0));
  write_channel(doc, voice_channel("c_lounge", "ws_home", "cat_home_voice", "Lounge", 0));
}

void write_demo_content(crdt::Document& doc) {
  if (!begin_seeding(doc)) return;

  write_user(doc, UserRecord{"u_me", "You", "YU", 0, Presence::Online, false});
  write_user(doc, person("u_lena", "Lena Marsh", 1, Presence::Online));
  write_user(doc, person("u_owen", "Owen Vidal", 2, Presence::Idle));
  write_user(doc, person("u_nina", "Nina Cole", 3, Presence::Online));
  write_user(doc, person("u_theo", "Theo Brook", 5, Presence::Dnd));
  write_user(doc, person("u_mara", "Mara Quinn", 6, Presence::Offline));

  write_workspace(doc, WorkspaceRecord{"ws_acme", "Acme Design", "AD", 0, 0});
  write_workspace(doc, WorkspaceRecord{"ws_zarn", "Zarn Core", "ZC", 1, 1});
  write_workspace(doc, WorkspaceRecord{"ws_jam", "Weekend Jam", "WJ", 3, 2});

  write_category(doc, CategoryRecord{"cat_acme_main", "ws_acme", "Channels", 0, false});
  write_category(doc, CategoryRecord{"cat_acme_voice", "ws_acme", "Voice", 1, false});
  write_category(doc, CategoryRecord{"cat_zarn_eng", "ws_zarn", "Engineering", 0, false});
  write_category(doc, CategoryRecord{"cat_zarn_voice", "ws_zarn", "Voice", 1, false});
  write_category(doc, CategoryRecord{"cat_jam_main", "ws_jam", "Hangout", 0, false});

  const std::vector<ChannelRecord> channels = {
      text_channel("c_general", "ws_acme", "cat_acme_main", "general", "Company-wide announcements",
                   0),
      text_channel("c_crit", "ws_acme", "cat_acme_main", "design-crit",
                   "Share work, get sharp feedback", 1),
      text_channel("c_frontend", "ws_acme", "cat_acme_main", "frontend", "ui toolkit + app shells",
                   2),
      text_channel("c_random", "ws_acme", "cat_acme_main", "random", "Off-topic & watercooler", 3),
      voice_channel("c_standup", "ws_acme", "cat_acme_voice", "Daily Standup", 0),
      voice_channel("c_huddle", "ws_acme", "cat_acme_voice", "Design Huddle", 1),
      text_channel("c_kernel", "ws_zarn", "cat_zarn_eng", "kernel", "bootc + immutable base", 0),
      text_channel("c_compositor", "ws_zarn", "cat_zarn_eng", "compositor",
                   "2D clusters & sandboxing", 1),
      text_channel("c_fssync", "ws_zarn", "cat_zarn_eng", "fs-sync", "iroh projection & hydration",
                   2),
      text_channel("c_releases", "ws_zarn", "cat_zarn_eng", "releases", "ship logs", 3),
      voice_channel("c_warroom", "ws_zarn", "cat_zarn_voice", "War Room", 0),
      text_channel("c_ideas", "ws_jam", "cat_jam_main", "ideas", "weekend hacks", 0),
      text_channel("c_music", "ws_jam", "cat_jam_main", "music", "now playing", 1),
  };
  for (const ChannelRecord& ch : channels) write_channel(doc, ch);

  join_call(doc, "c_huddle", "u_lena");
  set_call_state(doc, "c_huddle", "u_lena", CallState{true, false, false, false});
  join_call(doc, "c_huddle", "u_owen");
  set_call_state(doc, "c_huddle", "u_owen", CallState{false, true, false, false});
  join_call(doc, "c_huddle", "u_nina");
  set_call_state(doc, "c_huddle", "u_nina", CallState{false, false, false, true});

  write_demo_messages(doc);
}

}  // namespace chat::document
