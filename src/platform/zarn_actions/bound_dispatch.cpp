#include "platform/zarn_actions/bound_dispatch.h"

#include <map>
#include <set>

namespace zarn_actions::bound_dispatch {

std::optional<std::vector<crdt::ChangeHash>> typed_action_before(const crdt::Document& doc,
                                                                 const EncodedAction& encoded) {
  if (encoded.type_name.empty() || encoded.required_operation_type.has_value()) {
    return std::nullopt;
  }
  return doc.heads();
}

TypedActionReport report_typed_action(const crdt::Document& doc,
                                      const std::vector<crdt::ChangeHash>& before,
                                      const std::vector<crdt::ChangeHash>& after) {
  TypedActionReport report{before, after, {}};
  const auto all = doc.changes();
  std::map<crdt::ChangeHash, const crdt::ChangeInfo*> by_hash;
  for (const auto& c : all) by_hash[c.hash] = &c;

  auto ancestors_of = [&](const std::vector<crdt::ChangeHash>& heads) {
    std::set<crdt::ChangeHash> seen;
    std::vector<crdt::ChangeHash> stack(heads.begin(), heads.end());
    while (!stack.empty()) {
      const auto h = stack.back();
      stack.pop_back();
      auto it = by_hash.find(h);
      if (it == by_hash.end() || !seen.insert(h).second) continue;
      for (const auto& d : it->second->deps) stack.push_back(d);
    }
    return seen;
  };
  const auto old_set = ancestors_of(before);
  const auto new_set = ancestors_of(after);
  for (const auto& c : all) {
    if (new_set.count(c.hash) && !old_set.count(c.hash)) report.changes.push_back(c);
  }
  return report;
}

}  // namespace zarn_actions::bound_dispatch
