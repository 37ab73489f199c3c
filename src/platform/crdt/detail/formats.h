// The two chunk kinds a document reads and writes: a change (canonical encoding, hashed with
// SHA-256) and a snapshot (columnar, ops in document order). Chunks share one frame:
// magic "ZCRD", kind byte, LEB128 body length, 4 check bytes, body.
// Decoders accept any bytes and fail with an error; pure functions, any thread.
#pragma once

#include <vector>

#include "platform/base/result.h"
#include "platform/crdt/detail/codec.h"
#include "platform/crdt/detail/state.h"

namespace crdt::detail {

enum class ChunkKind : std::uint8_t { Snapshot = 1, Change = 2 };

struct Chunk {
  ChunkKind kind;
  ByteView body;
  std::array<std::uint8_t, 4> check;
};

zarn::Result<std::vector<Chunk>> split_chunks(ByteView bytes);
void write_frame(Bytes& out, ChunkKind kind, ByteView body, const std::uint8_t* check4);

void write_payload(Writer& w, const Payload& p);
zarn::Result<Payload> read_payload(Reader& r);

// Canonical change chunk for `rec` with `ops` (doc actor indexes); fills rec.hash/encoded.
void encode_change(const DocState& doc, ChangeRec& rec, std::vector<Op> ops);
zarn::Result<DecodedChange> decode_change(const Chunk& chunk);

// Snapshot of the ops of the first `keep_changes` changes (later ops are left out).
Bytes encode_snapshot(const DocState& doc, std::size_t keep_changes);
// Fills an empty state.
zarn::Result<void> decode_snapshot(ByteView body, DocState& out);

// The check bytes of a snapshot body (CRC-32) and of a change body (SHA-256 prefix).
std::array<std::uint8_t, 4> snapshot_check(ByteView body);
// Rewrites the check bytes of every chunk to match its body, so tests and fuzzers can reach
// the decoders behind the checksums with altered bodies. No-op on unsplittable input.
void reseal(Bytes& bytes);

// Rebuilds the ops of every change from the state, grouped per change (empty vectors for
// changes outside `wanted`).
std::vector<std::vector<Op>> ops_by_change(const DocState& doc, const std::vector<bool>& wanted);

}  // namespace crdt::detail
