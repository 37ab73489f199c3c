#include "platform/zarn_ui/persist/persist.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>
#include <vector>

#include "platform/base/unique_fd.h"
#include "platform/zarn_ui/persist/chunk_file.h"

namespace zarn_ui::persist {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string errno_text(const std::string& what, const fs::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

using Fd = zarn::UniqueFd;

zarn::Result<void> write_all(int fd, std::span<const std::uint8_t> bytes) {
  return zarn::write_all(fd, bytes.data(), bytes.size());
}

zarn::Result<std::vector<std::uint8_t>> read_all(int fd) {
  std::vector<std::uint8_t> out;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
  std::uint8_t buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return zarn::make_error(std::string("read failed: ") + std::strerror(errno));
    }
    if (n == 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

void fsync_dir(const fs::path& dir) {
  Fd d(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (d.valid()) ::fsync(d.get());
}

// Writes magic + snapshot to a temporary file beside `path`, fsyncs it and renames it over
// `path`, so a reader sees either the old file or the whole new one.
zarn::Result<void> write_snapshot_atomically(const fs::path& path,
                                             std::span<const std::uint8_t> snapshot) {
  fs::path tmp = path;
  tmp += ".tmp";
  Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.valid()) return zarn::make_error(errno_text("cannot create", tmp));
  auto bytes = file_magic();
  auto chunk = encode_chunk(ChunkKind::Snapshot, snapshot);
  bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  if (auto r = write_all(fd.get(), bytes); !r) return zarn::make_error(r.error() + " " + tmp.string());
  if (::fsync(fd.get()) != 0) return zarn::make_error(errno_text("cannot sync", tmp));
  fd.reset();
  if (::rename(tmp.c_str(), path.c_str()) != 0) return zarn::make_error(errno_text("cannot replace", path));
  fsync_dir(path.parent_path());
  return zarn::ok();
}

std::string timestamp_suffix() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%dT%H%M%SZ", &tm);
  return buf;
}

class MemoryHandle final : public DocumentHandle {
 public:
  crdt::Document& doc() override { return doc_; }
  const fs::path& path() const override { return path_; }
  zarn::Result<void> save() override {
    doc_.commit();
    return zarn::ok();
  }
  void note_changed(Clock::time_point) override {}
  zarn::Result<void> save_if_due(Clock::time_point) override { return save(); }
  std::optional<Clock::time_point> save_deadline() const override { return std::nullopt; }

 private:
  crdt::Document doc_;
  fs::path path_;
};

class FileHandle final : public DocumentHandle {
 public:
  FileHandle(crdt::Document doc, fs::path path, Fd lock, Fd file, std::size_t snapshot_size,
             std::size_t appended_size, std::chrono::milliseconds debounce)
      : doc_(std::move(doc)),
        path_(std::move(path)),
        lock_(std::move(lock)),
        file_(std::move(file)),
        snapshot_size_(snapshot_size),
        appended_size_(appended_size),
        debounce_(debounce) {}

  ~FileHandle() override {
    if (auto r = save(); !r) {
      std::fprintf(stderr, "warning: could not save %s at exit: %s\n", path_.c_str(),
                   r.error().c_str());
    }
  }

  crdt::Document& doc() override { return doc_; }
  const fs::path& path() const override { return path_; }

  zarn::Result<void> save() override {
    deadline_.reset();
    if (needs_rewrite_) return compact();
    auto changes = doc_.save_incremental();
    if (changes.empty()) return zarn::ok();
    if (appended_size_ + changes.size() > snapshot_size_) return compact();
    auto chunk = encode_chunk(ChunkKind::Changes, changes);
    if (auto r = write_all(file_.get(), chunk); !r) return fail_append(r.error());
    if (::fdatasync(file_.get()) != 0) return fail_append(errno_text("cannot sync", path_));
    appended_size_ += changes.size();
    return zarn::ok();
  }

  void note_changed(Clock::time_point now) override {
    if (!deadline_) deadline_ = now + debounce_;
  }

  zarn::Result<void> save_if_due(Clock::time_point now) override {
    if (!deadline_ || now < *deadline_) return zarn::ok();
    return save();
  }

  std::optional<Clock::time_point> save_deadline() const override { return deadline_; }

 private:
  // A failed append may have left part of a chunk behind, and its changes are already out of
  // save_incremental(): only a whole new snapshot is safe, now or at the next save.
  zarn::Result<void> fail_append(const std::string& why) {
    needs_rewrite_ = true;
    if (auto r = compact(); !r) return zarn::make_error(why + "; " + r.error());
    return zarn::ok();
  }

  zarn::Result<void> compact() {
    needs_rewrite_ = true;
    auto snapshot = doc_.save();
    ZARN_TRY(write_snapshot_atomically(path_, snapshot));
    Fd file(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (!file.valid()) return zarn::make_error(errno_text("cannot reopen", path_));
    file_ = std::move(file);
    snapshot_size_ = snapshot.size();
    appended_size_ = 0;
    needs_rewrite_ = false;
    return zarn::ok();
  }

  crdt::Document doc_;
  fs::path path_;
  Fd lock_;
  Fd file_;
  std::size_t snapshot_size_;
  std::size_t appended_size_;
  std::chrono::milliseconds debounce_;
  std::optional<Clock::time_point> deadline_;
  bool needs_rewrite_ = false;
};

zarn::Result<Fd> take_lock(const fs::path& path) {
  fs::path lock_path = path;
  lock_path += ".lock";
  Fd lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!lock.valid()) return zarn::make_error(errno_text("cannot open lock file", lock_path));
  if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return zarn::make_error("the document " + path.string() +
                              " is in use by another running instance");
    }
    return zarn::make_error(errno_text("cannot lock", lock_path));
  }
  return lock;
}

// Moves an undecodable file out of the way so it is never overwritten.
zarn::Result<void> set_aside(const fs::path& path, const std::string& why) {
  fs::path aside = path;
  aside += ".corrupt-" + timestamp_suffix();
  for (int n = 1; fs::exists(aside); ++n) {
    aside = path;
    aside += ".corrupt-" + timestamp_suffix() + "-" + std::to_string(n);
  }
  if (::rename(path.c_str(), aside.c_str()) != 0) {
    return zarn::make_error(errno_text("cannot set aside unreadable document", path));
  }
  std::fprintf(stderr, "warning: %s could not be read (%s); kept it as %s and started afresh\n",
               path.c_str(), why.c_str(), aside.c_str());
  return zarn::ok();
}

}  // namespace

zarn::Result<std::unique_ptr<DocumentHandle>> open(const OpenContext&, const OpenOptions&) {
  return std::unique_ptr<DocumentHandle>(std::make_unique<MemoryHandle>());
}

zarn::Result<std::unique_ptr<DocumentHandle>> open_migrating(const OpenContext&,
                                                            const OpenOptions& options,
                                                            const fs::path& path) {
  std::error_code ec;
  if (path.has_parent_path()) {
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
      return zarn::make_error("cannot create folder " + path.parent_path().string() + ": " +
                              ec.message());
    }
  }
  auto lock = take_lock(path);
  if (!lock) return std::move(lock).take_error();

  std::optional<crdt::Document> doc;
  ParsedFile parsed;
  {
    Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid() && errno != ENOENT) return zarn::make_error(errno_text("cannot open", path));
    if (in.valid()) {
      auto bytes = read_all(in.get());
      if (!bytes) return zarn::make_error(bytes.error() + " " + path.string());
      auto file = parse_file(*bytes);
      std::string why;
      if (file) {
        auto loaded = crdt::Document::load(file->document_bytes);
        if (loaded) {
          doc.emplace(std::move(*loaded));
          parsed = std::move(*file);
        } else {
          why = loaded.error();
        }
      } else {
        why = file.error();
      }
      if (!doc) ZARN_TRY(set_aside(path, why));
    }
  }

  if (!doc) {
    doc.emplace();
    auto snapshot = doc->save();
    ZARN_TRY(write_snapshot_atomically(path, snapshot));
    parsed.snapshot_size = snapshot.size();
    parsed.appended_size = 0;
  } else if (parsed.torn_tail) {
    // Drop the torn bytes so the next append starts on a chunk boundary.
    if (::truncate(path.c_str(), static_cast<off_t>(parsed.valid_length)) != 0) {
      return zarn::make_error(errno_text("cannot trim torn tail of", path));
    }
  }

  Fd file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (!file.valid()) return zarn::make_error(errno_text("cannot open for writing", path));
  return std::unique_ptr<DocumentHandle>(std::make_unique<FileHandle>(
      std::move(*doc), path, std::move(*lock), std::move(file), parsed.snapshot_size,
      parsed.appended_size, options.debounce));
}

}  // namespace zarn_ui::persist
