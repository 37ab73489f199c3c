// Doorbell: an eventfd that wakes the media runtime. Ringing costs one non-blocking write and
// takes no lock that a worker could hold, so the UI thread can wake a sender task without waiting
// for a preempted worker. Rings before the watcher looks are not lost: the count stays readable
// until read. ring() from any thread; the fd is for the runtime's watcher.
#pragma once

#include <memory>

#include "platform/base/result.h"

namespace chat::media {

class Doorbell {
 public:
  static zarn::Result<std::shared_ptr<Doorbell>> create();
  ~Doorbell();
  Doorbell(const Doorbell&) = delete;
  Doorbell& operator=(const Doorbell&) = delete;

  void ring() const;
  int fd() const { return fd_; }

 private:
  explicit Doorbell(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace chat::media
