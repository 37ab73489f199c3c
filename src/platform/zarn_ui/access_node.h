// Accessibility nodes: the tree a widget hands to the platform, and its JSON form. Node ids are
// the stable strings automation addresses controls by; rectangles are logical pixels.
// Plain data; any thread may build or serialise a tree.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

enum class AccessRole : std::uint8_t {
  Window,
  Group,
  List,
  ListItem,
  Tab,
  Button,
  Toggle,
  TextField,  // single line
  TextArea,   // multi-line
  Heading,
  Label,
  Image,
  Menu,
  MenuItem,
  Dialog,
};

std::string_view role_name(AccessRole role);

struct AccessNode {
  std::string id{};
  std::string label{};
  std::string description{};
  AccessRole role = AccessRole::Group;
  Rect rect{};
  bool selected = false;  // selected, pressed or checked, by role
  bool focused = false;
  bool disabled = false;
  std::string tag{};    // free-form kind, for automation ("row", "item" ...)
  std::string value{};  // text fields: their text
  std::vector<AccessNode> children{};

  // Depth-first search by id, this node included.
  const AccessNode* find(std::string_view node_id) const;
};

// A node that can be hit: it has an id and a non-empty rectangle.
struct AccessRegion {
  std::string id{};
  std::string label{};
  AccessRole role = AccessRole::Group;
  Rect rect{};
};

// Every hit-able node of the tree, depth-first (paint order for trees built in paint order).
std::vector<AccessRegion> access_regions(const AccessNode& root);

// {"frame":{"width","height"},"tree":{...},"regions":[...]}; rects as {"x0","y0","x1","y1"}.
std::string access_json(const AccessNode& root, Size frame);
zarn::Result<void> write_access_json(const std::filesystem::path& path, const AccessNode& root,
                                     Size frame);

}  // namespace zarn_ui
