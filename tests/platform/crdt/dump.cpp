#include "dump.h"

#include <sstream>

namespace crdt::testing {
namespace {

void dump_value(const Document& doc, const Value& v, std::ostream& out);

void dump_obj(const Document& doc, const ObjId& id, ObjType type, std::ostream& out) {
  switch (type) {
    case ObjType::Map:
      out << "{";
      for (const auto& k : doc.keys(id)) {
        out << k << ":";
        for (const Value& v : doc.get_all(id, k)) dump_value(doc, v, out);
        out << ",";
      }
      out << "}";
      break;
    case ObjType::List:
      out << "[";
      for (std::size_t i = 0; i < doc.length(id); ++i) {
        dump_value(doc, *doc.get(id, i), out);
        out << ",";
      }
      out << "]";
      break;
    case ObjType::Text:
      out << "'" << doc.text(id) << "'";
      break;
  }
}

void dump_value(const Document& doc, const Value& v, std::ostream& out) {
  if (auto* r = std::get_if<ObjRef>(&v.v)) {
    out << "@" << r->id.counter << "." << r->id.actor.to_hex().substr(0, 4);
    dump_obj(doc, r->id, r->type, out);
    return;
  }
  const Scalar& s = std::get<Scalar>(v.v);
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, Null>)
          out << "null";
        else if constexpr (std::is_same_v<T, std::string>)
          out << '"' << x << '"';
        else if constexpr (std::is_same_v<T, Counter>)
          out << "c" << x.value;
        else if constexpr (std::is_same_v<T, Timestamp>)
          out << "t" << x.millis;
        else if constexpr (std::is_same_v<T, bool>)
          out << (x ? "true" : "false");
        else
          out << x;
      },
      s);
  out << " ";
}

}  // namespace

std::string dump(const Document& doc) {
  std::ostringstream out;
  dump_obj(doc, ObjId::root(), ObjType::Map, out);
  return out.str();
}

}  // namespace crdt::testing
