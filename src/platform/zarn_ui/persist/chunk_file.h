// The document file's framing: an 8-byte magic, then chunks of [kind u8][length u32 LE]
// [crc32 u32 LE][payload]. The first chunk is a snapshot; the rest are appended change sets.
// Parsing never trusts the bytes: a damaged last chunk is a torn append and is dropped, any
// other damage makes the whole file unreadable. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/base/result.h"

namespace zarn_ui::persist {

enum class ChunkKind : std::uint8_t { Snapshot = 1, Changes = 2 };

inline constexpr std::size_t kMagicSize = 8;
inline constexpr std::size_t kChunkHeaderSize = 9;

struct ParsedFile {
  // Snapshot payload followed by every change payload, ready for crdt::Document::load.
  std::vector<std::uint8_t> document_bytes;
  std::size_t snapshot_size = 0;  // payload bytes of the snapshot chunk
  std::size_t appended_size = 0;  // payload bytes of the change chunks
  std::size_t valid_length = 0;   // file offset just past the last intact chunk
  bool torn_tail = false;         // bytes after valid_length were dropped
};

std::vector<std::uint8_t> file_magic();
std::vector<std::uint8_t> encode_chunk(ChunkKind kind, std::span<const std::uint8_t> payload);
zarn::Result<ParsedFile> parse_file(std::span<const std::uint8_t> bytes);

}  // namespace zarn_ui::persist
