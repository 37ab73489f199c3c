// Test helper: a canonical text dump of a whole document (every conflict value included), so
// two replicas can be compared in one assertion.
#pragma once

#include <string>

#include "platform/crdt/document.h"

namespace crdt::testing {

std::string dump(const Document& doc);

}  // namespace crdt::testing
