// AttachController: the attach popover's state (open flag, listed files, one status line) and
// the background work behind it: at most one folder listing and one import at a time, on two
// worker threads started with the controller, answering through a bounded channel that drain()
// empties without waiting.
// Answers carry the number of the request that started them; late ones are discarded as stale.
// UI thread only (the thread that built it); destruction waits for the task in hand.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "actions/chat_action.h"
#include "attachments/listing.h"
#include "attachments/result_channel.h"

namespace chat::attachments {

enum class WriteAccess { Granted, Denied };
enum class ImportStart { Accepted, Refused };

struct AttachOptions {
  std::filesystem::path folder;  // the workspace folder (workspace_folder())
  // Runs on a worker thread whenever a result is ready, so the UI loop can wake up and sync.
  std::function<void()> wake;
  // The wall clock for message times; the system clock when empty.
  std::function<std::chrono::system_clock::time_point()> now;
  // Where the two request counters start.
  std::uint64_t first_listing_request = 0;
  std::uint64_t first_import_request = 0;
};

struct PendingImport {
  std::string channel;
  std::string path;
  std::uint64_t request = 0;
};

struct Drained {
  // The message carrying a finished import: dispatch it, then show the latest messages.
  std::optional<actions::SendMessage> post;
};

class AttachController {
 public:
  explicit AttachController(AttachOptions options);
  AttachController(const AttachController&) = delete;
  AttachController& operator=(const AttachController&) = delete;
  ~AttachController();

  // Opens the popover and starts listing the folder unless a listing is already running.
  void open();
  // Closes the popover; a listing still running is cancelled when its answer arrives.
  void close();

  // Starts importing `path` into `channel`. Refused without write access, while another import
  // is pending, or when the request counter is used up.
  ImportStart start_import(std::string channel, std::string path, WriteAccess access);

  // Takes every finished result: listings first, then imports. `access` is checked again
  // before a finished import is posted; `author` is the local user.
  Drained drain(WriteAccess access, std::string_view author);

  bool is_open() const { return open_; }
  bool listing_running() const { return listing_.has_value(); }
  const std::optional<PendingImport>& pending_import() const { return pending_; }
  const std::vector<ListingEntry>& entries() const { return entries_; }
  const std::optional<std::string>& status() const { return status_; }
  const std::filesystem::path& folder() const { return options_.folder; }

  // The channel workers answer through.
  ResultChannel& channel() { return *channel_; }

 private:
  class Workers;

  void start_listing();
  void take_listing(ListingResult result);
  void take_import(ImportResult result, WriteAccess access, std::string_view author, Drained& out);
  std::int64_t now_seconds() const;

  AttachOptions options_;
  std::shared_ptr<ResultChannel> channel_;
  std::unique_ptr<Workers> workers_;
  std::thread::id owner_;

  bool open_ = false;
  std::uint64_t listing_counter_;
  std::optional<std::uint64_t> listing_;
  std::vector<ListingEntry> entries_;
  std::uint64_t import_counter_;
  std::optional<PendingImport> pending_;
  std::optional<std::string> status_;
};

}  // namespace chat::attachments
