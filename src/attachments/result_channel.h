// ResultChannel: where listing and import workers hand their single result to the UI thread.
// Bounded: the UI thread reserves a slot before it starts a worker, so a worker's delivery never
// fails and never waits; unreserved offers are refused when the channel is full. The lock is
// held only to move results in or out, never while calling the wake callback. Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <variant>
#include <vector>

#include "attachments/import.h"
#include "attachments/listing.h"
#include "platform/base/result.h"

namespace chat::attachments {

struct ListingResult {
  std::uint64_t request = 0;
  zarn::Result<std::vector<ListingEntry>> entries;
};

struct ImportResult {
  std::uint64_t request = 0;
  zarn::Result<ImportedFile> file;
};

using WorkerResult = std::variant<ListingResult, ImportResult>;

class ResultChannel {
 public:
  // `wake` runs on the delivering thread after each accepted result; it may be empty.
  ResultChannel(std::size_t capacity, std::function<void()> wake);

  // Claims room for one later deliver(); false when every slot is queued or reserved.
  bool reserve();
  // Hands over the result for a slot taken with reserve().
  void deliver(WorkerResult result);
  // Hands over a result without a reservation; false (result dropped) when full.
  bool offer(WorkerResult result);
  // Moves out everything queued, oldest first.
  std::vector<WorkerResult> take_all();

  std::size_t queued() const;

 private:
  const std::size_t capacity_;
  const std::function<void()> wake_;
  mutable std::mutex mu_;
  std::vector<WorkerResult> items_;
  std::size_t reserved_ = 0;
};

}  // namespace chat::attachments
