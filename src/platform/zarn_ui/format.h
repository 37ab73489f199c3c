// Human-readable quantities for labels. Byte sizes use binary multiples (1 KB = 1024 B) and
// always one decimal above plain bytes, so a column of sizes lines up: "0 B", "512 B",
// "1.5 KB", "32.0 MB". Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace zarn_ui::format {

// Exact count below 1024; otherwise the largest unit (KB, MB, GB, TB, PB, EB) whose value is at
// least 1 after rounding to one decimal.
std::string bytes(std::uint64_t count);

}  // namespace zarn_ui::format
