// Arbitrary bytes through the "chat.action" decoder; whatever decodes is applied to a copy of a
// seeded document and committed, as the executor would.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "actions/typed_action.h"
#include "document/seed.h"
#include "platform/crdt/document.h"

namespace {

const crdt::Document& seeded() {
  static const crdt::Document doc = [] {
    crdt::Document d;
    chat::document::write_demo_content(d);
    d.commit();
    return d;
  }();
  return doc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view json(reinterpret_cast<const char*>(data), size);
  auto typed = chat::actions::decode_typed_chat_action(json);
  if (!typed) return 0;
  crdt::Document doc = seeded().fork();
  (*typed)->apply(doc);
  doc.commit();
  return 0;
}
