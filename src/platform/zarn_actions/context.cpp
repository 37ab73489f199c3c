#include "platform/zarn_actions/context.h"

#include <nlohmann/json.hpp>
#include <vector>

namespace zarn_actions {

ActionContext ActionContext::enriched_by(const ActorIdentity& identity) const {
  ActionContext out = *this;
  out.actor = identity;
  return out;
}

std::string ActionContext::to_json_text() const {
  nlohmann::ordered_json j;
  j["app_id"] = app_id;
  j["app_name"] = app_name;
  j["action_name"] = action_name;
  j["label"] = label;
  if (target) {
    j["target"] = {{"address", target->address}, {"display_name", target->display_name}};
  } else {
    j["target"] = nullptr;
  }
  if (actor) {
    j["actor"] = {{"id", actor->id}, {"display_name", actor->display_name}};
  } else {
    j["actor"] = nullptr;
  }
  // Replacement keeps a context with stray bytes in a name loggable instead of failing.
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

namespace context {
namespace {

bool is_upper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool is_lower(char c) {
  return c >= 'a' && c <= 'z';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
char to_lower(char c) {
  return is_upper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}
char to_upper(char c) {
  return is_lower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

std::vector<std::string> split_words(std::string_view id) {
  std::vector<std::string> words;
  std::string cur;
  auto flush = [&] {
    if (!cur.empty()) words.push_back(std::move(cur));
    cur.clear();
  };
  for (std::size_t i = 0; i < id.size(); ++i) {
    const char c = id[i];
    if (c == '_' || c == '-' || c == ' ' || c == '.') {
      flush();
      continue;
    }
    if (!cur.empty() && is_upper(c)) {
      const char prev = cur.back();
      const bool next_lower = i + 1 < id.size() && is_lower(id[i + 1]);
      // "sendMessage" splits before M; "HTTPServer" splits before the S that starts "Server".
      if (is_lower(prev) || is_digit(prev) || (is_upper(prev) && next_lower)) flush();
    }
    cur.push_back(c);
  }
  flush();
  return words;
}

bool all_upper(const std::string& w) {
  bool any = false;
  for (char c : w) {
    if (is_lower(c)) return false;
    any = any || is_upper(c);
  }
  return any && w.size() > 1;
}

}  // namespace

std::string humanize_identifier(std::string_view identifier) {
  std::string out;
  bool first = true;
  for (const std::string& w : split_words(identifier)) {
    if (!first) out.push_back(' ');
    if (all_upper(w)) {
      out += w;
    } else {
      for (std::size_t i = 0; i < w.size(); ++i) {
        out.push_back(first && i == 0 ? to_upper(w[i]) : to_lower(w[i]));
      }
    }
    first = false;
  }
  return out;
}

}  // namespace context
}  // namespace zarn_actions
