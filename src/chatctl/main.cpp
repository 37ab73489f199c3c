// chatctl: works on a workspace document file from the command line. Decodes chat actions,
// applies them through the action framework, seeds and dumps the document. The file is opened
// with the platform's lock, so a running application's document is refused, never changed.
// Single-threaded.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/action_json.h"
#include "actions/dispatch.h"
#include "actions/typed_action.h"
#include "app/data_dir.h"
#include "document/dump.h"
#include "document/seed.h"
#include "platform/zarn_ui/persist/persist.h"

namespace {

namespace fs = std::filesystem;
using chat::actions::ChatTypedAction;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kBadAction = 2;
constexpr int kUsage = 64;

constexpr std::string_view kUsageText =
    "usage: chatctl [--doc PATH] <command>\n"
    "  decode           read one chat action (JSON) on stdin, print its canonical form\n"
    "  apply            read chat actions, one per line, on stdin; print ok or the error for each\n"
    "  seed demo        write the demonstration content into an unseeded document\n"
    "  seed starter [USER_ID [NAME]]\n"
    "                   write the starter content for that local user (default: the id in\n"
    "                   the document folder's peer-id file, else u_me; name \"You\")\n"
    "  dump             print the whole document as JSON\n"
    "The document defaults to workspace.automerge in the data directory (ZARN_CHAT_DATA).\n";

int usage(std::string_view problem) {
  if (!problem.empty()) std::cerr << "chatctl: " << problem << "\n";
  std::cerr << kUsageText;
  return kUsage;
}

std::optional<fs::path> default_document() {
  auto dir = chat::app::resolve_data_dir();
  if (!dir) return std::nullopt;
  return chat::app::document_path(*dir);
}

using Handle = std::unique_ptr<zarn_ui::persist::DocumentHandle>;

std::optional<Handle> open_document(const fs::path& path) {
  auto opened = zarn_ui::persist::open_migrating({"chatctl"}, {}, path);
  if (!opened) {
    std::cerr << "chatctl: " << opened.error() << "\n";
    return std::nullopt;
  }
  return std::move(opened).value();
}

bool save(zarn_ui::persist::DocumentHandle& handle) {
  auto saved = handle.save();
  if (!saved)
    std::cerr << "chatctl: cannot save " << handle.path() << ": " << saved.error() << "\n";
  return saved.has_value();
}

int cmd_decode() {
  const std::string input{std::istreambuf_iterator<char>(std::cin), {}};
  auto action = chat::actions::decode_chat_action(input);
  if (!action) {
    std::cout << action.error() << "\n";
    return kBadAction;
  }
  std::cout << chat::actions::to_json_text(*action) << "\n";
  return kOk;
}

int cmd_apply(const fs::path& path) {
  auto handle = open_document(path);
  if (!handle) return kFailed;
  crdt::Document& doc = (*handle)->doc();
  chat::actions::DispatchState state;

  bool all_ok = true;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    const zarn_actions::EncodedAction given{std::string(chat::actions::kChatActionType), line};
    auto decoded = zarn_actions::decode_with(state.registry, given);
    if (auto* err = std::get_if<zarn_actions::ActionError>(&decoded)) {
      std::cout << err->display_text() << "\n";
      all_ok = false;
      continue;
    }
    const auto* typed = dynamic_cast<const ChatTypedAction*>(std::get<0>(decoded).get());
    if (typed == nullptr) {
      std::cout << "the \"chat.action\" decoder returned another kind of action\n";
      all_ok = false;
      continue;
    }
    // Dispatched as the application would: canonical bytes, its context, its warnings.
    auto result = chat::actions::dispatch_chat_action(state, doc, typed->action());
    if (result.has_value()) {
      std::cout << "ok\n";
    } else {
      std::cout << result.error().display_text() << "\n";
      all_ok = false;
    }
  }
  if (!save(**handle)) return kFailed;
  return all_ok ? kOk : kBadAction;
}

// The peer-id file the application keeps beside the document, when it holds a person id.
std::optional<std::string> peer_id_beside(const fs::path& doc_path) {
  std::FILE* f = std::fopen((doc_path.parent_path() / chat::app::kPeerIdFileName).c_str(), "r");
  if (f == nullptr) return std::nullopt;
  char buf[256] = {};
  const bool got = std::fgets(buf, sizeof buf, f) != nullptr;
  std::fclose(f);
  if (!got) return std::nullopt;
  std::string id(buf);
  while (!id.empty() && (id.back() == '\n' || id.back() == '\r' || id.back() == ' ')) id.pop_back();
  if (id.size() < 3 || id.rfind("u_", 0) != 0) return std::nullopt;
  return id;
}

// First letters of the first two words, upper-cased when ASCII.
std::string initials(std::string_view name) {
  std::string out;
  bool at_word = true;
  for (char c : name) {
    if (c == ' ') {
      at_word = true;
    } else if (at_word && out.size() < 2) {
      out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
      at_word = false;
    } else {
      at_word = false;
    }
  }
  return out.empty() ? "Y" : out;
}

int cmd_seed(const fs::path& path, const std::vector<std::string_view>& args) {
  const std::string_view which = args[0];
  if (which == "demo" ? args.size() != 1 : which != "starter" || args.size() > 3) {
    return usage("seed takes demo, or starter with an optional user id and name");
  }
  auto handle = open_document(path);
  if (!handle) return kFailed;
  crdt::Document& doc = (*handle)->doc();
  if (which == "demo") {
    chat::document::write_demo_content(doc);
  } else {
    chat::document::LocalUser me;
    me.id = args.size() > 1 ? std::string(args[1]) : peer_id_beside(path).value_or("u_me");
    me.name = args.size() > 2 ? std::string(args[2]) : "You";
    me.initials = initials(me.name);
    chat::document::write_starter_content(doc, me);
  }
  return save(**handle) ? kOk : kFailed;
}

int cmd_dump(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    std::cerr << "chatctl: no document at " << path << "\n";
    return kFailed;
  }
  auto handle = open_document(path);
  if (!handle) return kFailed;
  const auto json = chat::document::dump_document((*handle)->doc());
  std::cout << json.dump(2, ' ', false, chat::document::Json::error_handler_t::replace) << "\n";
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  std::optional<fs::path> doc_path;
  if (args.size() >= 2 && args[0] == "--doc") {
    doc_path = fs::path(args[1]);
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return usage("");
  const std::string_view command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsageText;
    return kOk;
  }
  if (command == "decode" && args.size() == 1) return cmd_decode();

  if (!doc_path) doc_path = default_document();
  if (!doc_path) {
    std::cerr << "chatctl: no data directory (set ZARN_CHAT_DATA or HOME, or pass --doc)\n";
    return kFailed;
  }
  if (command == "apply" && args.size() == 1) return cmd_apply(*doc_path);
  if (command == "seed" && args.size() >= 2) {
    return cmd_seed(*doc_path, std::vector<std::string_view>(args.begin() + 1, args.end()));
  }
  if (command == "dump" && args.size() == 1) return cmd_dump(*doc_path);
  return usage("unknown command or wrong arguments");
}
