#include "document/dump.h"

namespace chat::document {

namespace {

Json dump_scalar(const crdt::Scalar& s) {
  return std::visit(
      [](const auto& v) -> Json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, crdt::Null>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, crdt::Counter>) {
          return v.value;
        } else if constexpr (std::is_same_v<T, crdt::Timestamp>) {
          return v.millis;
        } else {
          return v;
        }
      },
      s);
}

Json dump_value(const crdt::Document& doc, const crdt::Value& value) {
  if (const auto* ref = std::get_if<crdt::ObjRef>(&value.v)) return dump_object(doc, ref->id);
  return dump_scalar(std::get<crdt::Scalar>(value.v));
}

}  // namespace

Json dump_document(const crdt::Document& doc) {
  return dump_object(doc, crdt::ObjId::root());
}

Json dump_object(const crdt::Document& doc, const crdt::ObjId& obj) {
  const auto type = obj.is_root() ? std::optional(crdt::ObjType::Map) : doc.object_type(obj);
  if (!type) return nullptr;
  switch (*type) {
    case crdt::ObjType::Text:
      return doc.text(obj);
    case crdt::ObjType::List: {
      Json out = Json::array();
      const std::size_t n = doc.length(obj);
      for (std::size_t i = 0; i < n; ++i) {
        auto v = doc.get(obj, i);
        out.push_back(v ? dump_value(doc, *v) : Json(nullptr));
      }
      return out;
    }
    case crdt::ObjType::Map:
      break;
  }
  Json out = Json::object();
  for (const std::string& key : doc.keys(obj)) {
    auto v = doc.get(obj, key);
    out[key] = v ? dump_value(doc, *v) : Json(nullptr);
  }
  return out;
}

}  // namespace chat::document
