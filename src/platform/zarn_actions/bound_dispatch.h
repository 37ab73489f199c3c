// Reporting a typed action's effect to the host: the heads before a dispatch, then the changes
// that lie between those heads and the heads after it. Operations (actions the host delivers
// with an operation type) never touch the document and are not reported.
// UI thread (the document's owner).
#pragma once

#include <optional>
#include <vector>

#include "platform/crdt/document.h"
#include "platform/zarn_actions/action_registry.h"

namespace zarn_actions::bound_dispatch {

// The document's heads when `encoded` is a document action worth reporting; absent otherwise.
std::optional<std::vector<crdt::ChangeHash>> typed_action_before(const crdt::Document& doc,
                                                                 const EncodedAction& encoded);

struct TypedActionReport {
  std::vector<crdt::ChangeHash> before;
  std::vector<crdt::ChangeHash> after;
  // The committed changes reachable from `after` but not from `before`, in causal order.
  std::vector<crdt::ChangeInfo> changes;
};

TypedActionReport report_typed_action(const crdt::Document& doc,
                                      const std::vector<crdt::ChangeHash>& before,
                                      const std::vector<crdt::ChangeHash>& after);

}  // namespace zarn_actions::bound_dispatch
