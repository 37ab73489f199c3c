#include "media/doorbell.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace chat::media {

zarn::Result<std::shared_ptr<Doorbell>> Doorbell::create() {
  const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) return zarn::make_error(std::string("eventfd: ") + std::strerror(errno));
  return std::shared_ptr<Doorbell>(new Doorbell(fd));
}

Doorbell::~Doorbell() {
  ::close(fd_);
}

void Doorbell::ring() const {
  // The only failure of a non-blocking eventfd write is a counter about to overflow, which
  // still leaves it readable: the watcher wakes either way.
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(fd_, &one, sizeof one);
}

}  // namespace chat::media
