#include "platform/strata/fs_blob_store.h"

#include "platform/base/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/xdg_paths/xdg_paths.h"

namespace strata::blobstore {
namespace {

constexpr std::string_view kTempPrefix = ".tmp-";
// Read-back comparisons go through a buffer this big rather than a copy of the whole blob.
constexpr std::size_t kCompareChunk = std::size_t{1} << 20;

zarn::Error sys_error(std::string what) {
  return zarn::make_error(std::move(what) + ": " + std::strerror(errno));
}

using Fd = zarn::UniqueFd;

FsBlobStore::FileStamp stamp_of(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size,
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

// lstat of a stored blob: only a regular file counts (a planted symlink is never followed).
std::optional<struct stat> regular_file(const std::filesystem::path& p) {
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return st;
}

std::string random_hex(std::size_t bytes) {
  std::vector<unsigned char> raw(bytes);
  randombytes_buf(raw.data(), raw.size());
  std::string out(bytes * 2 + 1, '\0');
  sodium_bin2hex(out.data(), out.size(), raw.data(), raw.size());
  out.pop_back();
  return out;
}

// Names of the first `limit` entries of a folder; `complete` tells whether that was all of them.
struct Listing {
  std::vector<std::string> names;
  bool complete = true;
};

zarn::Result<Listing> list_folder(const std::filesystem::path& root, std::uint64_t limit) {
  Listing out;
  DIR* dir = ::opendir(root.c_str());
  if (dir == nullptr) {
    if (errno == ENOENT) return out;
    return sys_error("cannot read content store folder " + root.string());
  }
  while (true) {
    errno = 0;
    dirent* e = ::readdir(dir);
    if (e == nullptr) break;
    std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    if (out.names.size() >= limit) {
      out.complete = false;
      break;
    }
    out.names.emplace_back(name);
  }
  int err = errno;
  ::closedir(dir);
  if (err != 0) {
    errno = err;
    return sys_error("cannot read content store folder " + root.string());
  }
  return out;
}

// A stored blob's file name is exactly its lower-case id.
bool is_blob_name(const std::string& name) {
  auto id = normalize_content_id(name);
  return id && *id == name;
}

zarn::Result<void> write_all(int fd, ByteView bytes) {
  if (auto w = zarn::write_all(fd, bytes.data(), bytes.size()); !w) {
    return zarn::make_error("cannot write blob: " + w.error());
  }
  return zarn::ok();
}

}  // namespace

std::filesystem::path FsBlobStore::default_root() {
  auto data = xdg_paths::data_dir();
  if (!data) return {};
  return *data / "strata" / "blobs";
}

FsBlobStore::FsBlobStore(std::filesystem::path root, std::uint64_t max_blob_bytes,
                         std::uint64_t max_total_bytes, std::uint64_t max_blobs,
                         std::uint64_t max_scan_entries, Bookkeeping bookkeeping)
    : root_(std::move(root)),
      max_blob_bytes_(max_blob_bytes),
      max_total_bytes_(max_total_bytes),
      max_blobs_(max_blobs),
      max_scan_entries_(max_scan_entries),
      book_(std::move(bookkeeping)) {
  if (sodium_init() < 0) std::abort();
}

FsBlobStore::FsBlobStore(std::filesystem::path root, std::uint64_t max_blob_bytes,
                         std::uint64_t max_total_bytes, std::uint64_t max_blobs,
                         std::uint64_t max_scan_entries)
    : FsBlobStore(std::move(root), max_blob_bytes, max_total_bytes, max_blobs, max_scan_entries,
                  Bookkeeping{}) {}

zarn::Result<std::optional<Bytes>> FsBlobStore::get(std::string_view raw_id) const {
  auto id = normalize_content_id(raw_id);
  if (!id) return zarn::make_error("invalid content id");
  if (root_.empty()) return zarn::make_error("content store has no folder");

  Fd fd(::open((root_ / *id).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::optional<Bytes>{};
    return sys_error("cannot open blob " + *id);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return sys_error("cannot stat blob " + *id);
  if (!S_ISREG(st.st_mode)) return zarn::make_error("blob " + *id + " is not a regular file");
  if (static_cast<std::uint64_t>(st.st_size) > max_blob_bytes_) {
    return zarn::make_error("blob " + *id + " exceeds the store's size limit");
  }

  Bytes bytes(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return sys_error("cannot read blob " + *id);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);

  if (content_id_of(bytes) != *id) {
    std::lock_guard lock(mu_);
    book_.corrupt[*id] = stamp_of(st);
    return zarn::make_error("blob " + *id + " is corrupt");
  }
  {
    std::lock_guard lock(mu_);
    book_.corrupt.erase(*id);
  }
  return std::optional<Bytes>(std::move(bytes));
}

zarn::Result<std::string> FsBlobStore::put(ByteView bytes) {
  return store_bytes(content_id_of(bytes), bytes);
}

zarn::Result<std::string> FsBlobStore::put_checked(std::string_view expected_id, ByteView bytes) {
  auto expected = normalize_content_id(expected_id);
  if (!expected) return zarn::make_error("invalid content id");
  std::string actual = content_id_of(bytes);
  if (actual != *expected) return zarn::make_error("bytes do not match content id " + *expected);
  return store_bytes(actual, bytes);
}

zarn::Result<std::string> FsBlobStore::put_hashed(const HashedBytes& blob) {
  return store_bytes(blob.id(), blob.bytes());
}

zarn::Result<bool> FsBlobStore::matches(const HashedBytes& blob) const {
  if (root_.empty()) return zarn::make_error("content store has no folder");
  const std::string& id = blob.id();
  Fd fd(::open((root_ / id).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) {
    if (errno == ENOENT) return false;
    return sys_error("cannot open blob " + id);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return sys_error("cannot stat blob " + id);
  if (!S_ISREG(st.st_mode)) return zarn::make_error("blob " + id + " is not a regular file");

  // The given bytes hash to the id, so a file that differs from them does not: it is damaged.
  const ByteView want = blob.bytes();
  bool same = static_cast<std::uint64_t>(st.st_size) == want.size();
  if (same) {
    Bytes chunk(std::min<std::size_t>(want.size(), kCompareChunk) + 1);
    std::size_t done = 0;
    while (same) {
      const ssize_t n = ::read(fd.get(), chunk.data(), chunk.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return sys_error("cannot read blob " + id);
      }
      if (n == 0) break;
      const auto got = static_cast<std::size_t>(n);
      same = got <= want.size() - done && std::memcmp(chunk.data(), want.data() + done, got) == 0;
      done += got;
    }
    same = same && done == want.size();
  }
  std::lock_guard lock(mu_);
  if (same) {
    book_.corrupt.erase(id);
  } else {
    book_.corrupt[id] = stamp_of(st);
  }
  return same;
}

zarn::Result<FsBlobStore::Usage> FsBlobStore::usage(const std::string& except_id) const {
  auto listing = list_folder(root_, max_scan_entries_);
  if (!listing) return std::move(listing).take_error();
  Usage u;
  u.complete = listing->complete;
  for (const auto& name : listing->names) {
    if (name == except_id || !is_blob_name(name)) continue;
    if (auto st = regular_file(root_ / name)) {
      ++u.blobs;
      u.bytes += static_cast<std::uint64_t>(st->st_size);
    }
  }
  return u;
}

void FsBlobStore::release_locked(const std::string& id, std::uint64_t bytes,
                                 const std::string& temp_name) {
  book_.reserved_bytes -= bytes;
  book_.reserved_blobs -= 1;
  if (--book_.writing[id] <= 0) book_.writing.erase(id);
  book_.temp_files.erase(temp_name);
}

zarn::Result<std::string> FsBlobStore::store_bytes(const std::string& id, ByteView bytes) {
  if (root_.empty()) return zarn::make_error("content store has no folder");
  if (bytes.size() > max_blob_bytes_) {
    return zarn::make_error("blob of " + std::to_string(bytes.size()) + " bytes exceeds the " +
                            std::to_string(max_blob_bytes_) + "-byte limit");
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(root_, ec)) {
    std::filesystem::create_directories(root_, ec);
    if (ec) return zarn::make_error("cannot create content store folder: " + ec.message());
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ec);
  }

  const std::string temp_name = std::string(kTempPrefix) + random_hex(12);
  const std::uint64_t size = bytes.size();
  {
    std::lock_guard admit(write_mu_);
    auto used = usage(id);
    if (!used) return std::move(used).take_error();
    if (!used->complete) {
      return zarn::make_error("content store folder holds more than " +
                              std::to_string(max_scan_entries_) + " entries");
    }
    std::lock_guard lock(mu_);
    if (used->blobs + book_.reserved_blobs + 1 > max_blobs_) {
      return zarn::make_error("content store is full (" + std::to_string(max_blobs_) + " blobs)");
    }
    if (used->bytes + book_.reserved_bytes + size > max_total_bytes_) {
      return zarn::make_error("content store is full (" + std::to_string(max_total_bytes_) +
                              " bytes)");
    }
    book_.reserved_bytes += size;
    book_.reserved_blobs += 1;
    book_.writing[id] += 1;
    book_.temp_files.insert(temp_name);
  }

  const std::filesystem::path temp_path = root_ / temp_name;
  auto fail = [&](zarn::Error e) -> zarn::Result<std::string> {
    ::unlink(temp_path.c_str());
    std::lock_guard lock(mu_);
    release_locked(id, size, temp_name);
    return e;
  };

  Fd fd(::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.get() < 0) return fail(sys_error("cannot create temporary blob file"));
  if (auto w = write_all(fd.get(), bytes); !w) return fail(std::move(w).take_error());
  if (::fsync(fd.get()) != 0) return fail(sys_error("cannot flush blob"));
  if (!fd.close()) return fail(sys_error("cannot close blob"));

  {
    // Renaming between eviction passes: a pass never deletes a blob that was just replaced.
    std::lock_guard writer(write_mu_);
    if (::rename(temp_path.c_str(), (root_ / id).c_str()) != 0) {
      zarn::Error e = sys_error("cannot move blob into place");
      ::unlink(temp_path.c_str());
      std::lock_guard lock(mu_);
      release_locked(id, size, temp_name);
      return e;
    }
    std::lock_guard lock(mu_);
    release_locked(id, size, temp_name);
    book_.corrupt.erase(id);
  }
  // Make the rename itself durable; the blob is already complete either way.
  Fd dir(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return id;
}

bool FsBlobStore::marked_corrupt_locked(const std::string& id, const FileStamp& stamp) const {
  auto it = book_.corrupt.find(id);
  return it != book_.corrupt.end() && it->second == stamp;
}

bool FsBlobStore::has(std::string_view raw_id) const {
  auto id = normalize_content_id(raw_id);
  if (!id || root_.empty()) return false;
  auto st = regular_file(root_ / *id);
  if (!st || static_cast<std::uint64_t>(st->st_size) > max_blob_bytes_) return false;
  std::lock_guard lock(mu_);
  return !marked_corrupt_locked(*id, stamp_of(*st));
}

BlobState FsBlobStore::state(std::string_view raw_id) const {
  auto id = normalize_content_id(raw_id);
  if (!id || root_.empty()) return BlobState::Unavailable;
  auto st = regular_file(root_ / *id);
  std::lock_guard lock(mu_);
  if (st && static_cast<std::uint64_t>(st->st_size) <= max_blob_bytes_ &&
      !marked_corrupt_locked(*id, stamp_of(*st))) {
    return BlobState::Present;
  }
  if (book_.writing.count(*id) != 0) return BlobState::Pending;
  return BlobState::Unavailable;
}

zarn::Result<EvictReport> FsBlobStore::evict_unreferenced(
    const std::unordered_set<std::string>& referenced, std::chrono::seconds min_age) {
  if (root_.empty()) return zarn::make_error("content store has no folder");
  std::unordered_set<std::string> keep;
  for (const auto& r : referenced) {
    if (auto id = normalize_content_id(r)) keep.insert(*id);
  }
  const auto now_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  const std::int64_t min_age_ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(min_age).count();

  std::lock_guard writer(write_mu_);
  // Writes in flight were admitted under write_mu_, so this copy is complete for the pass.
  std::unordered_map<std::string, int> writing;
  std::unordered_set<std::string> temp_files;
  {
    std::lock_guard lock(mu_);
    writing = book_.writing;
    temp_files = book_.temp_files;
  }
  auto listing = list_folder(root_, max_scan_entries_);
  if (!listing) return std::move(listing).take_error();
  EvictReport report;
  report.complete = listing->complete;
  for (const auto& name : listing->names) {
    bool blob = is_blob_name(name);
    bool temp = name.compare(0, kTempPrefix.size(), kTempPrefix) == 0;
    if (!blob && !temp) continue;  // not ours: leave foreign files alone
    if (blob && (keep.count(name) != 0 || writing.count(name) != 0)) continue;
    if (temp && temp_files.count(name) != 0) continue;
    const auto path = root_ / name;
    auto st = regular_file(path);
    if (!st) continue;
    if (now_ns - stamp_of(*st).mtime_ns < min_age_ns) continue;
    if (::unlink(path.c_str()) != 0) continue;
    if (blob) {
      ++report.blobs_removed;
      report.bytes_removed += static_cast<std::uint64_t>(st->st_size);
      std::lock_guard lock(mu_);
      book_.corrupt.erase(name);
    } else {
      ++report.temp_files_removed;
    }
  }
  return report;
}

}  // namespace strata::blobstore
