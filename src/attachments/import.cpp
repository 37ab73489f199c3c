#include "attachments/import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "attachments/file_kind.h"

namespace chat::attachments {
namespace {

namespace blobstore = strata::blobstore;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

bool shareable(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_size >= 0 &&
         static_cast<std::uint64_t>(st.st_size) <= kMaxAttachmentBytes;
}

// Reads at most one byte past the limit, so a file that grew since it was checked is noticed
// without reading all of it.
zarn::Result<blobstore::Bytes> read_bounded(const std::filesystem::path& path) {
  // Non-blocking open: if the path was swapped for a FIFO since the check, opening must not
  // hang; the descriptor is checked again below.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return zarn::make_error(kCouldNotRead);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return zarn::make_error(kCouldNotRead);
  if (!S_ISREG(st.st_mode)) return zarn::make_error(kNotShareable);

  const std::uint64_t cap = kMaxAttachmentBytes + 1;
  blobstore::Bytes bytes;
  try {
    bytes.resize(std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size) + 1, cap));
    std::size_t have = 0;
    while (true) {
      if (have == bytes.size()) {
        if (bytes.size() >= cap) break;
        bytes.resize(std::min<std::uint64_t>(bytes.size() * 2, cap));
      }
      const ssize_t n = ::read(fd.get(), bytes.data() + have, bytes.size() - have);
      if (n < 0) {
        if (errno == EINTR) continue;
        return zarn::make_error(kCouldNotRead);
      }
      if (n == 0) break;
      have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
  } catch (const std::bad_alloc&) {
    return zarn::make_error(kCouldNotRead);
  }
  return bytes;
}

}  // namespace

zarn::Result<ImportedFile> import_file(const std::filesystem::path& path,
                                       const std::shared_ptr<blobstore::BlobStore>& store) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return zarn::make_error(kFileUnavailable);
  if (!shareable(st)) return zarn::make_error(kNotShareable);

  auto read = read_bounded(path);
  if (!read) return std::move(read).take_error();
  const blobstore::Bytes& bytes = read.value();
  if (bytes.empty()) return zarn::make_error(kFileEmpty);
  if (bytes.size() > kMaxAttachmentBytes) return zarn::make_error(kFileGrew);

  ImportedFile out;
  out.name = display_name(path);
  if (out.name.empty()) out.name = "file";
  out.video = kind_of_name(out.name) == FileKind::Video;
  out.size = bytes.size();
  const blobstore::Sniffed sniffed = blobstore::sniff(bytes);
  out.width = sniffed.width;
  out.height = sniffed.height;

  if (!store) return zarn::make_error(kStoreRefused);
  auto id = store->put(bytes);
  // Messages name blobs by a 64-digit id; anything else could never be shown.
  if (!id || blobstore::normalize_content_id(id.value()) != id.value()) {
    return zarn::make_error(kStoreRefused);
  }
  out.blob = std::move(id).value();

  auto back = store->get(out.blob);
  if (!back || !back.value() || *back.value() != bytes) return zarn::make_error(kVerifyFailed);
  return out;
}

document::Attachment attachment_for(const ImportedFile& file) {
  if (file.video) return document::VideoAttachment{file.name, file.blob, 0, 0, file.size};
  if (file.width > 0 && file.height > 0) {
    return document::ImageAttachment{file.name, file.blob, file.width, file.height};
  }
  return document::FileAttachment{file.name, file.blob, file.size};
}

}  // namespace chat::attachments
