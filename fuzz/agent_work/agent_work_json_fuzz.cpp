// Arbitrary text through the strict JSON reader and the agent work readers. Whatever the reader
// accepts must write back as compact text that reads to an equal value; whatever record a
// reader accepts must write, read again to an equal record, and write the same text once more.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "document/agent_work_json.h"
#include "document/strict_json.h"

namespace {

using namespace chat::document;

template <typename T>
void check_record(const zarn::Result<T>& record) {
  if (!record) {
    if (record.error().empty()) __builtin_trap();
    return;
  }
  // Strings in a value that parsed are valid UTF-8, so writing cannot fail.
  auto text = to_json_text(*record);
  if (!text) __builtin_trap();
  auto again = from_json_text<T>(*text);
  if (!again || !(*again == *record)) __builtin_trap();
  auto text_again = to_json_text(*again);
  if (!text_again || *text_again != *text) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_record(from_json_text<AgentWork>(text));

  auto parsed = parse_strict_json(text);
  if (!parsed) {
    if (parsed.error().empty()) __builtin_trap();
    return 0;
  }
  auto compact = to_compact_text(*parsed);
  if (!compact) __builtin_trap();
  auto reparsed = parse_strict_json(*compact);
  if (!reparsed || *reparsed != *parsed) __builtin_trap();

  // The other records travel on their own: the document stores the transition, the reasoning
  // and each step outcome as separate JSON texts.
  check_record(from_json<StoredAgentTransition>(*parsed));
  check_record(from_json<AgentWorkState>(*parsed));
  check_record(from_json<AgentReasoning>(*parsed));
  check_record(from_json<AgentRoute>(*parsed));
  check_record(from_json<AgentStep>(*parsed));
  check_record(from_json<AgentStepOutcome>(*parsed));
  return 0;
}
