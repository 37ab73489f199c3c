// Shared pieces of the attachment-import benchmarks: wall and thread-CPU timing of the calls the
// UI thread makes, a temporary folder, and 32 MiB files written the way a picked file was (long
// before, already flushed). Header only; benchmark threads.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <type_traits>
#include <vector>

namespace zarn_bench {

inline constexpr std::size_t k32MiB = 33554432;

using Clock = std::chrono::steady_clock;

inline double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time of the calling thread, to tell work done in a call from time spent preempted (the
// worker and other processes share the two cores).
inline double thread_cpu_ms() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The longest wall and CPU time of the calls it timed, and how many took over 2 ms of wall time.
struct CallTimes {
  double wall_ms = 0;
  double cpu_ms = 0;
  std::uint64_t over_2ms = 0;

  template <typename F>
  auto time(F&& f) {
    const auto t0 = Clock::now();
    const double c0 = thread_cpu_ms();
    auto record = [&] {
      const double cpu = thread_cpu_ms() - c0;
      const double wall = ms(Clock::now() - t0);
      wall_ms = std::max(wall_ms, wall);
      cpu_ms = std::max(cpu_ms, cpu);
      if (wall > 2.0) ++over_2ms;
    };
    if constexpr (std::is_void_v<decltype(f())>) {
      f();
      record();
    } else {
      auto r = f();
      record();
      return r;
    }
  }
};

struct TempFolder {
  TempFolder() {
    char tmpl[] = "/tmp/zarn-bench-XXXXXX";
    if (::mkdtemp(tmpl) != nullptr) path = tmpl;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::filesystem::path path;
};

template <typename Byte>
std::vector<Byte> random_bytes(std::size_t n, std::uint64_t seed) {
  std::vector<Byte> bytes(n);
  std::mt19937_64 rng(seed);
  for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    const std::uint64_t v = rng();
    std::memcpy(bytes.data() + i, &v, 8);
  }
  return bytes;
}

// A picked file was written long before: write this one, flush it and let the kernel's
// writeback finish, so that work is not counted against the import.
inline void write_settled(const std::filesystem::path& file, const std::vector<char>& bytes) {
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const int fd = ::open(file.c_str(), O_RDONLY);
  if (fd >= 0) {
    (void)::fdatasync(fd);
    ::close(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace zarn_bench
