// Feeds arbitrary bytes to Document::load and Document::apply_changes. Checksums are resealed
// first so the fuzzer reaches the decoders behind them. Anything accepted must save and load
// back to the same content.
#include <cstddef>
#include <cstdint>

#include "platform/crdt/detail/formats.h"
#include "platform/crdt/document.h"

namespace {

void round_trip(crdt::Document& doc) {
  const auto heads = doc.heads();
  auto again = crdt::Document::load(doc.save());
  if (!again || again->heads() != heads ||
      again->keys(crdt::ObjId::root()) != doc.keys(crdt::ObjId::root()))
    __builtin_trap();
  (void)doc.changes_since({});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  crdt::Bytes bytes(data, data + size);
  crdt::detail::reseal(bytes);
  auto loaded = crdt::Document::load(bytes);
  if (loaded) round_trip(*loaded);

  crdt::ActorId a;
  a.bytes.fill(0x42);
  crdt::Document doc(a);
  (void)doc.put(crdt::ObjId::root(), "k", std::int64_t{1});
  doc.commit({}, 0);
  if (doc.apply_changes(bytes)) round_trip(doc);
  return 0;
}
