#include "platform/zarn_ui/image_store.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <cairo.h>

#include "platform/zarn_ui/painter.h"

namespace zarn_ui {

struct ImageStore::Shared {
  using Clock = std::chrono::steady_clock;

  struct Entry {
    ImageState state = ImageState::Loading;
    std::shared_ptr<const Image> image;
    std::string error;
    bool retryable = false;
    Clock::time_point failed_at;
    std::uint64_t last_used = 0;
    // Results of a load started before an invalidate carry an older generation and are dropped.
    std::uint64_t generation = 0;
  };
  struct Job {
    std::string key;
    std::uint64_t generation = 0;
  };
  struct Outcome {
    std::shared_ptr<const Image> image;
    std::string error;
    bool retryable = false;
  };

  ImageLoader loader;
  ImageStoreOptions options;

  mutable std::mutex mu;
  std::condition_variable work_cv;
  mutable std::condition_variable idle_cv;
  std::unordered_map<std::string, Entry> entries;
  std::deque<Job> queue;
  int running = 0;
  bool stopping = false;
  std::uint64_t tick = 0;
  std::uint64_t next_generation = 1;
  std::size_t bytes = 0;
  std::vector<std::thread> workers;

  bool idle_locked() const { return queue.empty() && running == 0; }

  void enqueue_locked(const std::string& key, Entry& entry) {
    entry.state = ImageState::Loading;
    entry.image.reset();
    entry.error.clear();
    entry.generation = next_generation++;
    queue.push_back(Job{key, entry.generation});
    work_cv.notify_one();
  }

  Outcome load(const std::string& key) {
    Outcome out;
    try {
      auto loaded = loader(key);
      if (!loaded) {
        out.error = loaded.error();
        out.retryable = true;
        return out;
      }
      if (auto* bytes = std::get_if<EncodedImage>(&*loaded)) {
        auto decoded = decode_image(*bytes, options.limits);
        if (!decoded) {
          out.error = decoded.error();
          return out;
        }
        out.image = std::make_shared<const Image>(std::move(decoded).value());
      } else {
        Image& drawn = std::get<Image>(*loaded);
        if (auto valid = validate_image(drawn, options.limits); !valid) {
          out.error = valid.error();
          return out;
        }
        out.image = std::make_shared<const Image>(std::move(drawn));
      }
    } catch (const std::exception& e) {
      // The loader is the application's code; a throw must not take the worker down with it.
      out.error = std::string("image loader failed: ") + e.what();
      out.retryable = true;
    }
    return out;
  }

  static std::size_t image_bytes(const Image& image) {
    return image.pixels.size() * sizeof(std::uint32_t);
  }

  void evict_locked(const std::string& keep) {
    while (bytes > options.cache_bytes) {
      auto victim = entries.end();
      for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->second.state != ImageState::Ready || it->first == keep) continue;
        if (victim == entries.end() || it->second.last_used < victim->second.last_used) victim = it;
      }
      if (victim == entries.end()) return;
      bytes -= image_bytes(*victim->second.image);
      entries.erase(victim);
    }
  }

  void settle_locked(const Job& job, Outcome outcome) {
    auto it = entries.find(job.key);
    if (it == entries.end() || it->second.generation != job.generation) return;
    Entry& entry = it->second;
    if (outcome.image) {
      entry.state = ImageState::Ready;
      bytes += image_bytes(*outcome.image);
      entry.image = std::move(outcome.image);
      evict_locked(job.key);
    } else {
      entry.state = ImageState::Failed;
      entry.error = std::move(outcome.error);
      entry.retryable = outcome.retryable;
      entry.failed_at = Clock::now();
    }
  }

  void run_worker() {
    std::unique_lock lock(mu);
    for (;;) {
      work_cv.wait(lock, [&] { return stopping || !queue.empty(); });
      if (stopping) return;
      Job job = std::move(queue.front());
      queue.pop_front();
      auto it = entries.find(job.key);
      if (it == entries.end() || it->second.generation != job.generation) continue;
      ++running;
      lock.unlock();
      Outcome outcome = load(job.key);
      lock.lock();
      settle_locked(job, std::move(outcome));
      std::function<void()> wake = options.wake;
      lock.unlock();
      // Still counted as running until the wake is delivered, so whoever sees the store idle
      // has also been woken for everything it loaded.
      if (wake) wake();
      lock.lock();
      --running;
      if (idle_locked()) idle_cv.notify_all();
    }
  }
};

ImageStore::ImageStore(ImageLoader loader, ImageStoreOptions options)
    : shared_(std::make_unique<Shared>()) {
  shared_->loader = std::move(loader);
  shared_->options = std::move(options);
  const int count = shared_->options.workers > 0 ? shared_->options.workers : 1;
  for (int i = 0; i < count; ++i) {
    shared_->workers.emplace_back([s = shared_.get()] { s->run_worker(); });
  }
}

ImageStore::~ImageStore() {
  {
    std::lock_guard lock(shared_->mu);
    shared_->stopping = true;
    shared_->queue.clear();
  }
  shared_->work_cv.notify_all();
  for (auto& t : shared_->workers) t.join();
  shared_->idle_cv.notify_all();
}

ImageLookup ImageStore::get(const std::string& key) {
  Shared& s = *shared_;
  std::lock_guard lock(s.mu);
  auto [it, inserted] = s.entries.try_emplace(key);
  Shared::Entry& entry = it->second;
  entry.last_used = ++s.tick;
  if (inserted) {
    s.enqueue_locked(key, entry);
  } else if (entry.state == ImageState::Failed && entry.retryable &&
             Shared::Clock::now() - entry.failed_at >= s.options.retry_after) {
    s.enqueue_locked(key, entry);
  }
  return ImageLookup{entry.state, entry.image, entry.error};
}

bool ImageStore::is_idle() const {
  std::lock_guard lock(shared_->mu);
  return shared_->idle_locked();
}

bool ImageStore::block_until_idle(std::chrono::milliseconds limit) const {
  std::unique_lock lock(shared_->mu);
  return shared_->idle_cv.wait_for(lock, limit, [&] { return shared_->idle_locked(); });
}

void ImageStore::invalidate(const std::string& key) {
  Shared& s = *shared_;
  std::lock_guard lock(s.mu);
  auto it = s.entries.find(key);
  if (it == s.entries.end()) return;
  if (it->second.image) s.bytes -= Shared::image_bytes(*it->second.image);
  // A queued or running job for it finds no matching entry and is dropped.
  s.entries.erase(it);
}

void ImageStore::set_wake(std::function<void()> wake) {
  std::lock_guard lock(shared_->mu);
  shared_->options.wake = std::move(wake);
}

std::size_t ImageStore::cached_bytes() const {
  std::lock_guard lock(shared_->mu);
  return shared_->bytes;
}

namespace image_store {

void paint_image_cover(Painter& painter, const Image& image, const Rect& rect,
                       double corner_radius) {
  if (!validate_image(image, DecodeLimits{INT32_MAX, INT64_MAX})) return;
  if (cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width) != image.stride()) return;
  // Cairo never writes to a source surface; the cast only satisfies its signature.
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      const_cast<unsigned char*>(image.data()), CAIRO_FORMAT_ARGB32, image.width, image.height,
      image.stride());
  painter.draw_image(surface, rect, ImageFit::Cover, corner_radius);
  // Finishing detaches any snapshot a recording target took, so none outlives the pixels.
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
}

}  // namespace image_store
}  // namespace zarn_ui
