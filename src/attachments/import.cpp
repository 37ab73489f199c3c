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

// Reads pieces small enough to still be in the cache when they are hashed.
constexpr std::size_t kReadChunk = std::size_t{1} << 20;

// Reads the file into one buffer, hashing it on the way. Reads at most one byte past the limit,
// so a file that grew since it was checked is noticed without reading all of it.
zarn::Result<blobstore::HashedBytes> read_bounded(const std::filesystem::path& path) {
  // Non-blocking open: if the path was swapped for a FIFO since the check, opening must not
  // hang; the descriptor is checked again below.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return zarn::make_error(kCouldNotRead);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return zarn::make_error(kCouldNotRead);
  if (!S_ISREG(st.st_mode)) return zarn::make_error(kNotShareable);

  const std::uint64_t cap = kMaxAttachmentBytes + 1;
  try {
    blobstore::HashedBytesWriter writer(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size) + 1, cap), cap);
    while (true) {
      const auto room = writer.space(kReadChunk);
      if (room.empty()) break;
      const ssize_t n = ::read(fd.get(), room.data(), room.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return zarn::make_error(kCouldNotRead);
      }
      if (n == 0) break;
      writer.commit(static_cast<std::size_t>(n));
    }
    return writer.finish();
  } catch (const std::bad_alloc&) {
    return zarn::make_error(kCouldNotRead);
  }
}

}  // namespace

zarn::Result<ImportedFile> import_file(const std::filesystem::path& path,
                                       const std::shared_ptr<blobstore::BlobStore>& store) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return zarn::make_error(kFileUnavailable);
  if (!shareable(st)) return zarn::make_error(kNotShareable);

  auto read = read_bounded(path);
  if (!read) return std::move(read).take_error();
  const blobstore::HashedBytes& blob = read.value();
  const blobstore::ByteView bytes = blob.bytes();
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
  // The bytes were hashed as they were read: the store takes that id instead of hashing again.
  auto id = store->put_hashed(blob);
  // Messages name blobs by a 64-digit id; anything else could never be shown.
  if (!id || blobstore::normalize_content_id(id.value()) != id.value()) {
    return zarn::make_error(kStoreRefused);
  }
  out.blob = std::move(id).value();

  // Read back under the id the store answered: equal to what was read, or the import fails.
  if (out.blob != blob.id()) return zarn::make_error(kVerifyFailed);
  auto same = store->matches(blob);
  if (!same || !same.value()) return zarn::make_error(kVerifyFailed);
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
