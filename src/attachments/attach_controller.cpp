#include "attachments/attach_controller.h"

#include <atomic>
#include <cassert>
#include <exception>
#include <limits>
#include <system_error>
#include <utility>

#include "document/ids.h"
#include "platform/strata/blob_store.h"

namespace chat::attachments {
namespace {

// One listing and one import can be in flight; the rest is headroom for results offered by
// others.
constexpr std::size_t kChannelCapacity = 8;
constexpr std::uint64_t kCounterMax = std::numeric_limits<std::uint64_t>::max();
// Used when the clock reads before the epoch.
constexpr std::int64_t kFallbackTime = 1782477600;

constexpr char kLoading[] = "Loading attachments\u2026";
constexpr char kPickerExhausted[] = "Attachment picker unavailable: request counter exhausted";
constexpr char kPickerCancelled[] = "Attachment picker cancelled";
constexpr char kPickerFailed[] = "Attachment picker failed: ";
constexpr char kImportExhausted[] = "Attachment import unavailable: request counter exhausted";
constexpr char kPreparing[] = "Preparing attachment\u2026";
constexpr char kStale[] = "Attachment import discarded: stale result";
constexpr char kImportFailed[] = "Attachment import failed: ";
constexpr char kPermissionChanged[] = "Attachment import cancelled: permission changed";
constexpr char kShared[] = "Attachment shared";

}  // namespace

// Threads of the running workers. Finished ones are joined when the UI thread drains (they have
// already delivered, so joining does not wait); the rest are joined on destruction.
class AttachController::Workers {
 public:
  Workers() = default;
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  ~Workers() {
    for (auto& w : running_) w.thread.join();
  }

  bool start(std::function<void()> task) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
      std::thread t([task = std::move(task), done] {
        task();
        done->store(true, std::memory_order_release);
      });
      running_.push_back({std::move(t), std::move(done)});
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  void reap() {
    for (auto it = running_.begin(); it != running_.end();) {
      if (it->done->load(std::memory_order_acquire)) {
        it->thread.join();
        it = running_.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  struct Running {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Running> running_;
};

AttachController::AttachController(AttachOptions options)
    : options_(std::move(options)),
      channel_(std::make_shared<ResultChannel>(kChannelCapacity, options_.wake)),
      workers_(std::make_unique<Workers>()),
      owner_(std::this_thread::get_id()),
      listing_counter_(options_.first_listing_request),
      import_counter_(options_.first_import_request) {}

AttachController::~AttachController() = default;

void AttachController::open() {
  assert(std::this_thread::get_id() == owner_);
  open_ = true;
  start_listing();
}

void AttachController::close() {
  assert(std::this_thread::get_id() == owner_);
  open_ = false;
}

void AttachController::start_listing() {
  if (listing_) {
    status_ = kLoading;
    return;
  }
  if (listing_counter_ == kCounterMax) {
    status_ = kPickerExhausted;
    return;
  }
  if (!channel_->reserve()) return;
  const std::uint64_t request = listing_counter_++;
  listing_ = request;
  status_ = kLoading;
  entries_.clear();

  auto task = [channel = channel_, folder = options_.folder, request] {
    auto listed = [&]() -> zarn::Result<std::vector<ListingEntry>> {
      try {
        return list_workspace(folder);
      } catch (const std::exception&) {
        return zarn::make_error(kWorkspaceUnavailable);
      }
    }();
    channel->deliver(ListingResult{request, std::move(listed)});
  };
  if (!workers_->start(task)) {
    channel_->deliver(ListingResult{request, zarn::make_error(kWorkspaceUnavailable)});
  }
}

ImportStart AttachController::start_import(std::string channel, std::string path,
                                           WriteAccess access) {
  assert(std::this_thread::get_id() == owner_);
  if (access == WriteAccess::Denied || pending_) return ImportStart::Refused;
  if (import_counter_ == kCounterMax) {
    status_ = kImportExhausted;
    return ImportStart::Refused;
  }
  if (!channel_->reserve()) return ImportStart::Refused;
  const std::uint64_t request = import_counter_++;
  pending_ = PendingImport{std::move(channel), path, request};
  status_ = kPreparing;

  // The store handle is taken now: the worker keeps this store alive even if another one is
  // installed meanwhile.
  auto task = [results = channel_, store = strata::blobstore::store(), path = std::move(path),
               request] {
    auto imported = [&]() -> zarn::Result<ImportedFile> {
      try {
        return import_file(path, store);
      } catch (const std::exception&) {
        return zarn::make_error(kCouldNotRead);
      }
    }();
    results->deliver(ImportResult{request, std::move(imported)});
  };
  if (!workers_->start(task)) {
    channel_->deliver(ImportResult{request, zarn::make_error(kCouldNotRead)});
  }
  return ImportStart::Accepted;
}

Drained AttachController::drain(WriteAccess access, std::string_view author) {
  assert(std::this_thread::get_id() == owner_);
  workers_->reap();
  std::vector<WorkerResult> results = channel_->take_all();
  Drained out;
  for (auto& r : results) {
    if (auto* listing = std::get_if<ListingResult>(&r)) take_listing(std::move(*listing));
  }
  for (auto& r : results) {
    if (auto* import = std::get_if<ImportResult>(&r)) {
      take_import(std::move(*import), access, author, out);
    }
  }
  return out;
}

void AttachController::take_listing(ListingResult result) {
  if (!listing_ || *listing_ != result.request) return;
  listing_.reset();
  if (!open_) {
    status_ = kPickerCancelled;
    return;
  }
  if (!result.entries) {
    status_ = kPickerFailed + result.entries.error();
    return;
  }
  entries_ = std::move(result.entries).value();
  status_.reset();
}

void AttachController::take_import(ImportResult result, WriteAccess access, std::string_view author,
                                   Drained& out) {
  if (!pending_ || pending_->request != result.request) {
    status_ = kStale;
    return;
  }
  const PendingImport pending = std::move(*pending_);
  pending_.reset();
  if (!result.file) {
    status_ = kImportFailed + result.file.error();
    return;
  }
  if (access == WriteAccess::Denied) {
    status_ = kPermissionChanged;
    return;
  }
  actions::SendMessage msg;
  msg.channel = pending.channel;
  msg.id = document::mint_id("m_");
  msg.author = std::string(author);
  msg.ts = now_seconds();
  msg.attachment = attachment_for(result.file.value());
  out.post = std::move(msg);
  status_ = kShared;
}

std::int64_t AttachController::now_seconds() const {
  const auto now = options_.now ? options_.now() : std::chrono::system_clock::now();
  const auto since = now.time_since_epoch();
  if (since < decltype(since)::zero()) return kFallbackTime;
  return std::chrono::duration_cast<std::chrono::seconds>(since).count();
}

}  // namespace chat::attachments
