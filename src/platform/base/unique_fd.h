// UniqueFd owns a POSIX file descriptor; write_all writes a whole buffer through EINTR and short
// writes. Shared by every piece that writes files crash-safely. Header-only; any thread.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/base/result.h"

namespace zarn {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = o.release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Closes now, so a failing close (a delayed write error) can be reported.
  bool close() {
    if (fd_ < 0) return true;
    return ::close(release()) == 0;
  }

 private:
  int fd_ = -1;
};

inline Result<void> write_all(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, p + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return make_error(std::string("write failed: ") + std::strerror(errno));
    }
    done += static_cast<std::size_t>(n);
  }
  return ok();
}

}  // namespace zarn
