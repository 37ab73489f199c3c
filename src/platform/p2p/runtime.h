// Runtime: an Asio io_context run by a fixed number of worker threads (the endpoint's task
// runtime). Create and destroy it from one owning thread; destruction stops the context and
// joins the workers, so nothing posted to it runs afterwards.
#pragma once

#include <memory>
#include <thread>
#include <vector>

#include "platform/base/result.h"

namespace asio {
class io_context;
}

namespace p2p {

class Runtime {
 public:
  static zarn::Result<std::unique_ptr<Runtime>> start(unsigned threads);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  asio::io_context& io() { return *io_; }
  std::size_t thread_count() const { return threads_.size(); }

 private:
  Runtime();
  struct Guard;
  std::unique_ptr<asio::io_context> io_;
  std::unique_ptr<Guard> guard_;
  std::vector<std::thread> threads_;
};

}  // namespace p2p
