#include "platform/zarn_ui/persist/chunk_file.h"

#include <zlib.h>

#include <array>
#include <limits>
#include <string>

namespace zarn_ui::persist {
namespace {

constexpr std::array<std::uint8_t, kMagicSize> kMagic = {'Z', 'A', 'R', 'N', 'D', 'O', 'C', '1'};

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t get_u32(std::span<const std::uint8_t> b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}

std::uint32_t checksum(std::span<const std::uint8_t> payload) {
  // zlib takes uInt lengths; chunks are capped far below that by the u32 length field.
  return static_cast<std::uint32_t>(
      crc32(0L, payload.data(), static_cast<uInt>(payload.size())));
}

}  // namespace

std::vector<std::uint8_t> file_magic() { return {kMagic.begin(), kMagic.end()}; }

std::vector<std::uint8_t> encode_chunk(ChunkKind kind, std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> out;
  out.reserve(kChunkHeaderSize + payload.size());
  out.push_back(static_cast<std::uint8_t>(kind));
  put_u32(out, static_cast<std::uint32_t>(payload.size()));
  put_u32(out, checksum(payload));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

zarn::Result<ParsedFile> parse_file(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMagicSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) {
    return zarn::make_error("not a zarn document file (bad magic)");
  }
  ParsedFile parsed;
  std::size_t pos = kMagicSize;
  parsed.valid_length = pos;
  bool first = true;
  while (pos < bytes.size()) {
    const std::size_t remaining = bytes.size() - pos;
    bool intact = remaining >= kChunkHeaderSize;
    std::uint8_t kind = 0;
    std::uint32_t length = 0;
    if (intact) {
      kind = bytes[pos];
      length = get_u32(bytes, pos + 1);
      intact = length <= remaining - kChunkHeaderSize;
    }
    if (intact) {
      auto payload = bytes.subspan(pos + kChunkHeaderSize, length);
      intact = checksum(payload) == get_u32(bytes, pos + 5);
    }
    if (!intact) {
      // Only the final append can be torn by a crash: the file ends inside it, or it is the
      // last chunk and its bytes never reached the disk. Damage with data after it is
      // corruption, and dropping the later chunks would lose committed changes.
      const bool runs_to_end = remaining < kChunkHeaderSize ||
                               length >= remaining - kChunkHeaderSize;
      if (first) return zarn::make_error("document snapshot chunk is damaged");
      if (!runs_to_end) {
        return zarn::make_error("damaged chunk at offset " + std::to_string(pos));
      }
      parsed.torn_tail = true;
      break;
    }
    const std::size_t end = pos + kChunkHeaderSize + length;
    const auto expected = first ? ChunkKind::Snapshot : ChunkKind::Changes;
    if (kind != static_cast<std::uint8_t>(expected)) {
      return zarn::make_error("unexpected chunk kind " + std::to_string(kind) + " at offset " +
                              std::to_string(pos));
    }
    auto payload = bytes.subspan(pos + kChunkHeaderSize, length);
    parsed.document_bytes.insert(parsed.document_bytes.end(), payload.begin(), payload.end());
    (first ? parsed.snapshot_size : parsed.appended_size) += length;
    first = false;
    pos = end;
    parsed.valid_length = pos;
  }
  if (first) return zarn::make_error("document file has no snapshot");
  return parsed;
}

}  // namespace zarn_ui::persist
