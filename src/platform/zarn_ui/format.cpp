#include "platform/zarn_ui/format.h"

#include <array>
#include <cstdio>

namespace zarn_ui::format {

std::string bytes(std::uint64_t count) {
  if (count < 1024) return std::to_string(count) + " B";
  static constexpr std::array<const char*, 6> kUnits = {"KB", "MB", "GB", "TB", "PB", "EB"};
  // Integer tenths, rounded half up. The divisor is at most 2^60, so rest * 10 stays below 2^64
  // and the largest counts keep their precision, which a double would not.
  auto rounded_tenths = [count](std::uint64_t divisor) {
    const std::uint64_t rest = count % divisor;
    return count / divisor * 10 + (rest * 10 + divisor / 2) / divisor;
  };
  std::size_t unit = 0;
  std::uint64_t divisor = 1024;
  // Promote when rounding reaches 1024.0, so 1023.96 KB reads "1.0 MB".
  while (unit + 1 < kUnits.size() && rounded_tenths(divisor) >= 10240) {
    divisor *= 1024;
    ++unit;
  }
  const std::uint64_t tenths = rounded_tenths(divisor);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%llu.%llu %s", static_cast<unsigned long long>(tenths / 10),
                static_cast<unsigned long long>(tenths % 10), kUnits[unit]);
  return buf;
}

}  // namespace zarn_ui::format
