// Importing one file into the shared content store: every size and kind check happens before
// the bytes reach the store, and the stored bytes are read back and compared before the import
// counts as done. Blocking file and store I/O: call it from a worker thread, never the UI thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "document/records.h"
#include "platform/base/result.h"
#include "platform/strata/blob_store.h"

namespace chat::attachments {

inline constexpr std::uint64_t kMaxAttachmentBytes = 33554432;  // 32 MiB

// Error texts, shown after "Attachment import failed: ".
inline constexpr char kFileUnavailable[] = "file is unavailable";
inline constexpr char kNotShareable[] = "file is not shareable or exceeds 32 MiB";
inline constexpr char kCouldNotRead[] = "could not read file";
inline constexpr char kFileEmpty[] = "file is empty";
inline constexpr char kFileGrew[] = "file exceeds 32 MiB";
inline constexpr char kStoreRefused[] = "shared content store refused the attachment";
inline constexpr char kVerifyFailed[] = "shared byte verification failed";

struct ImportedFile {
  std::string blob;  // content id: 64 lower-case hexadecimal digits
  std::string name;  // "file" when the path has no last component
  std::uint64_t size = 0;
  bool video = false;       // by extension only
  std::uint32_t width = 0;  // sniffed; both 0 unless the bytes are a recognised picture
  std::uint32_t height = 0;
  bool operator==(const ImportedFile&) const = default;
};

// Reads, checks, stores and verifies the file at `path`. A null store refuses like a full one.
zarn::Result<ImportedFile> import_file(const std::filesystem::path& path,
                                       const std::shared_ptr<strata::blobstore::BlobStore>& store);

// The attachment a message carries for an imported file: a video by its name, else a picture
// when both sniffed dimensions are known, else a plain file.
document::Attachment attachment_for(const ImportedFile& file);

}  // namespace chat::attachments
