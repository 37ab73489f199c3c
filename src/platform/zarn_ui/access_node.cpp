#include "platform/zarn_ui/access_node.h"

#include <fstream>
#include <nlohmann/json.hpp>

namespace zarn_ui {

namespace {

using Json = nlohmann::ordered_json;

Json rect_json(const Rect& r) {
  return Json{{"x0", r.x0}, {"y0", r.y0}, {"x1", r.x1}, {"y1", r.y1}};
}

Json node_json(const AccessNode& n) {
  Json j;
  j["id"] = n.id;
  j["role"] = role_name(n.role);
  j["label"] = n.label;
  if (!n.description.empty()) j["description"] = n.description;
  j["rect"] = rect_json(n.rect);
  j["selected"] = n.selected;
  if (n.focused) j["focused"] = true;
  if (n.disabled) j["disabled"] = true;
  if (!n.tag.empty()) j["tag"] = n.tag;
  if (!n.value.empty()) j["value"] = n.value;
  if (!n.children.empty()) {
    Json kids = Json::array();
    for (const auto& c : n.children) kids.push_back(node_json(c));
    j["children"] = std::move(kids);
  }
  return j;
}

void collect_regions(const AccessNode& n, std::vector<AccessRegion>& out) {
  if (!n.id.empty() && !n.rect.empty()) out.push_back({n.id, n.label, n.role, n.rect});
  for (const auto& c : n.children) collect_regions(c, out);
}

}  // namespace

std::string_view role_name(AccessRole role) {
  switch (role) {
    case AccessRole::Window:
      return "window";
    case AccessRole::Group:
      return "group";
    case AccessRole::List:
      return "list";
    case AccessRole::ListItem:
      return "list_item";
    case AccessRole::Tab:
      return "tab";
    case AccessRole::Button:
      return "button";
    case AccessRole::Toggle:
      return "toggle";
    case AccessRole::TextField:
      return "text_field";
    case AccessRole::TextArea:
      return "text_area";
    case AccessRole::Heading:
      return "heading";
    case AccessRole::Label:
      return "label";
    case AccessRole::Image:
      return "image";
    case AccessRole::Menu:
      return "menu";
    case AccessRole::MenuItem:
      return "menu_item";
    case AccessRole::Dialog:
      return "dialog";
  }
  return "group";
}

const AccessNode* AccessNode::find(std::string_view node_id) const {
  if (id == node_id) return this;
  for (const auto& c : children) {
    if (const AccessNode* hit = c.find(node_id)) return hit;
  }
  return nullptr;
}

std::vector<AccessRegion> access_regions(const AccessNode& root) {
  std::vector<AccessRegion> out;
  collect_regions(root, out);
  return out;
}

std::string access_json(const AccessNode& root, Size frame) {
  Json j;
  j["frame"] = Json{{"width", frame.width}, {"height", frame.height}};
  j["tree"] = node_json(root);
  Json regions = Json::array();
  for (const auto& r : access_regions(root)) {
    regions.push_back(Json{{"id", r.id},
                           {"label", r.label},
                           {"role", role_name(r.role)},
                           {"rect", rect_json(r.rect)}});
  }
  j["regions"] = std::move(regions);
  // Labels come from user content; replace invalid UTF-8 rather than throw.
  return j.dump(2, ' ', false, Json::error_handler_t::replace);
}

zarn::Result<void> write_access_json(const std::filesystem::path& path, const AccessNode& root,
                                     Size frame) {
  std::string text = access_json(root, frame);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return zarn::make_error("cannot open " + path.string() + " for writing");
  out << text << '\n';
  out.close();
  if (!out) return zarn::make_error("cannot write " + path.string());
  return zarn::ok();
}

}  // namespace zarn_ui
