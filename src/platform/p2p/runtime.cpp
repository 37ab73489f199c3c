#include "platform/p2p/runtime.h"

#include <asio.hpp>
#include <system_error>

namespace p2p {

struct Runtime::Guard {
  asio::executor_work_guard<asio::io_context::executor_type> work;
};

Runtime::Runtime() : io_(std::make_unique<asio::io_context>()) {}

zarn::Result<std::unique_ptr<Runtime>> Runtime::start(unsigned threads) {
  std::unique_ptr<Runtime> rt(new Runtime());
  rt->guard_ = std::make_unique<Guard>(Guard{asio::make_work_guard(*rt->io_)});
  try {
    for (unsigned i = 0; i < threads; ++i) {
      rt->threads_.emplace_back([io = rt->io_.get()] { io->run(); });
    }
  } catch (const std::system_error& e) {
    // The destructor joins the threads that did start.
    return zarn::make_error(std::string("cannot start runtime thread: ") + e.what());
  }
  return rt;
}

Runtime::~Runtime() {
  guard_.reset();
  io_->stop();
  for (auto& t : threads_) t.join();
}

}  // namespace p2p
