#include "attachments/attach_controller.h"

#include <pthread.h>
#include <sched.h>

#include <array>
#include <cassert>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
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

// Workers read, hash and write up to 32 MiB. As batch threads they still get their share of the
// cores, but waking one never preempts the thread that woke it, so the UI thread is not held up
// when it hands over a task. Best effort: a refusal leaves the worker as it was.
void make_batch_thread() {
  sched_param param{};
  (void)::pthread_setschedparam(::pthread_self(), SCHED_BATCH, &param);
}

// While alive, keeps the calling thread off one CPU (the one the UI thread was on when it handed
// over the import), when another CPU is allowed; the old mask comes back at the end. An import
// keeps a core busy for tens of milliseconds, and when it shares the UI thread's core the
// scheduler can leave the UI thread waiting a whole tick (4 ms here) with the other core idle.
class AwayFromCpu {
 public:
  explicit AwayFromCpu(int cpu) {
    if (cpu < 0 || cpu >= CPU_SETSIZE) return;
    if (::sched_getaffinity(0, sizeof old_, &old_) != 0) return;
    if (!CPU_ISSET(cpu, &old_) || CPU_COUNT(&old_) < 2) return;
    cpu_set_t away = old_;
    CPU_CLR(cpu, &away);
    restore_ = ::sched_setaffinity(0, sizeof away, &away) == 0;
  }
  AwayFromCpu(const AwayFromCpu&) = delete;
  AwayFromCpu& operator=(const AwayFromCpu&) = delete;
  ~AwayFromCpu() {
    if (restore_) (void)::sched_setaffinity(0, sizeof old_, &old_);
  }

 private:
  cpu_set_t old_{};
  bool restore_ = false;
};

}  // namespace

// The two worker threads, one for listings and one for imports, so a listing never waits behind
// a 32 MiB import. They are started with the controller and live as long as it does: creating a
// thread maps a fresh stack, which can hold the UI thread for milliseconds while a large import
// has just freed or dirtied memory, so starting a task only queues it.
class AttachController::Workers {
 public:
  enum class Lane { Listing, Import };

  Workers() : lanes_{std::make_unique<Worker>(), std::make_unique<Worker>()} {}
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  // False when the lane's thread could not be started; the task is then not run.
  bool start(Lane lane, std::function<void()> task) {
    return lanes_[lane == Lane::Listing ? 0 : 1]->post(std::move(task));
  }

 private:
  class Worker {
   public:
    Worker() {
      try {
        thread_ = std::thread([this] { run(); });
      } catch (const std::system_error&) {
        // Left without a thread: post() refuses every task.
      }
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    // Finishes the task in hand; queued ones are dropped with the controller.
    ~Worker() {
      {
        std::lock_guard lock(mu_);
        stopping_ = true;
      }
      cv_.notify_one();
      if (thread_.joinable()) thread_.join();
    }

    bool post(std::function<void()> task) {
      if (!thread_.joinable()) return false;
      {
        std::lock_guard lock(mu_);
        tasks_.push_back(std::move(task));
      }
      cv_.notify_one();
      return true;
    }

   private:
    void run() {
      make_batch_thread();
      std::unique_lock lock(mu_);
      for (;;) {
        cv_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (stopping_) return;
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        task = nullptr;  // whatever the task held goes now, on this thread
        lock.lock();
      }
    }

    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;
  };

  std::array<std::unique_ptr<Worker>, 2> lanes_;
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
  if (!workers_->start(Workers::Lane::Listing, std::move(task))) {
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
  const int ui_cpu = ::sched_getcpu();
  auto task = [results = channel_, store = strata::blobstore::store(), path = std::move(path),
               request, ui_cpu] {
    const AwayFromCpu away(ui_cpu);
    auto imported = [&]() -> zarn::Result<ImportedFile> {
      try {
        return import_file(path, store);
      } catch (const std::exception&) {
        return zarn::make_error(kCouldNotRead);
      }
    }();
    results->deliver(ImportResult{request, std::move(imported)});
  };
  if (!workers_->start(Workers::Lane::Import, std::move(task))) {
    channel_->deliver(ImportResult{request, zarn::make_error(kCouldNotRead)});
  }
  return ImportStart::Accepted;
}

Drained AttachController::drain(WriteAccess access, std::string_view author) {
  assert(std::this_thread::get_id() == owner_);
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
