// ViewState: everything the application object keeps about what is on screen, apart from the
// document and the read model: selection, modes, scrolling, the four text inputs, transient
// surfaces, layout, presence and the local call flags. ChatApp owns one; views read it and may
// update their own caches in it while drawing. UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "attachments/listing.h"
#include "document/read_model.h"
#include "platform/zarn_ui/geometry.h"
#include "platform/zarn_ui/presence.h"
#include "platform/zarn_ui/text_input.h"
#include "views/control_id.h"
#include "views/layout.h"

namespace chat::views {

struct ConversationCache;  // the conversation view's measured heights (views/conversation.h)

struct LocalPerson {
  std::string id;
  std::string name;
  std::string initials;
  std::size_t color_idx = 0;
};

struct RosterEntry {
  std::string name;  // trimmed, never empty
  zarn_ui::Color color{};
};

struct RenameTarget {
  enum class Kind { Channel, Category };
  Kind kind = Kind::Channel;
  std::string id;
};

// A press on a channel row that may become a leftward swipe.
struct ChannelGesture {
  zarn_ui::Point press{};
  zarn_ui::Point current{};
  std::string channel{};
  std::size_t channel_index = 0;
  bool active = false;
};

struct EmojiPickerState {
  bool open = false;
  std::optional<std::string> message;  // none: the picker targets the composer
  zarn_ui::Rect anchor{};
};

struct EditHistoryState {
  bool open = false;
  std::string message{};
  zarn_ui::Rect anchor{};
};

struct AttachPopoverState {
  bool open = false;
  std::vector<attachments::ListingEntry> files{};
  std::optional<std::uint64_t> outstanding_listing{};
  std::uint64_t request_counter = 0;
  std::string status{};
  bool import_running = false;  // rows take no picks while a file is being imported
  std::string folder{};         // the listed folder; empty: the configured workspace folder
};

// The local call as views show it (membership itself lives in the document).
struct CallViewState {
  bool in_call = false;
  std::string channel{};
  bool expanded = false;
  bool participants_shown = false;
  bool muted = false;
  bool deafened = false;
  bool audio_only = false;
  bool sharing = false;
};

struct LayoutState {
  zarn_ui::Rect bounds{};
  double scale = 1;  // the frame's text scale, as given (geometry divides by max(scale, 1))
  LayoutFlags flags{};
  Flap left{};
  Flap right{};
  PaneGeometry panes{};
  zarn_ui::Rect main_composer{};
  zarn_ui::Rect thread_composer{};
  // Cards of the popovers drawn this frame: a press on a card's background is not a dismissal.
  std::vector<zarn_ui::Rect> popover_cards{};
};

struct ViewState {
  document::Selection selection{};
  bool inbox_mode = false;
  bool thread_focus = false;
  bool follow_latest = true;
  double scroll_offset = 0;  // logical pixels scrolled back from the newest message
  std::optional<std::string> reveal_message{};      // centre this message once, then clear
  std::optional<std::string> highlighted_person{};  // last opened through navigation

  zarn_ui::TextInput main_composer;
  zarn_ui::TextInput thread_composer;
  zarn_ui::TextInput edit_input;
  zarn_ui::TextInput rename_input;
  std::optional<std::string> editing_message{};
  std::optional<RenameTarget> rename{};

  EmojiPickerState picker{};
  EditHistoryState history{};
  AttachPopoverState attach{};
  CallViewState call{};
  ChannelGesture gesture{};
  LayoutState layout{};

  std::optional<ControlId> hovered{};
  std::optional<std::size_t> focus_index{};  // into the focusable controls
  zarn_ui::Point pointer{};                  // logical pixels

  bool interactive = false;
  bool starter = false;
  std::optional<std::string> composer_override{};

  LocalPerson local{};
  std::vector<std::string> self_ids{};
  zarn_ui::PresenceCtx presence{};
  std::map<std::string, RosterEntry, std::less<>> roster{};

  std::shared_ptr<ConversationCache> conversation_cache{};
  // Bumped by the owner whenever it replaces the read model; 0 means "not tracked", so views
  // must not reuse anything derived from an earlier model.
  std::uint64_t model_generation = 0;

  bool can_write() const { return presence.permissions.can_write(); }
  bool can_read() const { return presence.permissions.can_read(); }
  // The local user id, or one of the ids that count as the local user.
  bool is_self(std::string_view user_id) const;
};

}  // namespace chat::views
