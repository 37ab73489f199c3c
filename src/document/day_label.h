// The relative day of a message time against a reference instant, counted in whole UTC
// calendar days ("Today", "Yesterday", "N days ago"). Pure; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace chat::document {

// floor(day) difference, so times before the epoch land on the right day too. A timestamp on a
// later day than the reference still reads "Today".
std::int64_t days_between(std::int64_t reference, std::int64_t ts);
std::string day_label(std::int64_t reference, std::int64_t ts);

}  // namespace chat::document
