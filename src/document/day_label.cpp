#include "document/day_label.h"

namespace chat::document {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

std::int64_t floor_day(std::int64_t t) {
  std::int64_t q = t / kSecondsPerDay;
  if (t % kSecondsPerDay < 0) --q;
  return q;
}

}  // namespace

std::int64_t days_between(std::int64_t reference, std::int64_t ts) {
  // Each floor is within ±1.1e14, so the difference cannot overflow.
  return floor_day(reference) - floor_day(ts);
}

std::string day_label(std::int64_t reference, std::int64_t ts) {
  const std::int64_t days = days_between(reference, ts);
  if (days <= 0) return "Today";
  if (days == 1) return "Yesterday";
  return std::to_string(days) + " days ago";
}

}  // namespace chat::document
