#include "document/strict_json.h"

#include <limits>
#include <memory>
#include <unordered_set>
#include <vector>

#include "document/access.h"

namespace chat::document {

namespace {

// Builds the value from parser events so that repeated keys can be seen: the DOM parser
// silently keeps the last of them.
class StrictBuilder {
 public:
  using number_integer_t = Json::number_integer_t;
  using number_unsigned_t = Json::number_unsigned_t;
  using number_float_t = Json::number_float_t;
  using string_t = Json::string_t;
  using binary_t = Json::binary_t;

  bool null() { return add(Json(nullptr)); }
  bool boolean(bool v) { return add(Json(v)); }
  bool number_integer(number_integer_t v) { return add(Json(v)); }
  bool number_unsigned(number_unsigned_t v) { return add(Json(v)); }
  bool number_float(number_float_t v, const string_t&) { return add(Json(v)); }
  bool string(string_t& v) { return add(Json(std::move(v))); }
  bool binary(binary_t& v) { return add(Json::binary(std::move(v))); }

  bool start_object(std::size_t) { return open(Json::object()); }
  bool start_array(std::size_t) { return open(Json::array()); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool key(string_t& k) {
    Frame& top = frames_.back();
    if (!top.keys.insert(k).second) {
      error_ = "duplicate key \"" + k + "\"";
      return false;
    }
    pending_key_ = std::move(k);
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const Json::exception& ex) {
    error_ = ex.what();
    return false;
  }

  Json take() { return std::move(root_); }
  const std::string& error() const { return error_; }

 private:
  struct Frame {
    Json* node;
    std::unordered_set<std::string> keys;
  };

  Json* add(Json value) {
    if (frames_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json* parent = frames_.back().node;
    if (parent->is_object()) {
      auto [it, inserted] =
          parent->get_ref<Json::object_t&>().insert({pending_key_, std::move(value)});
      (void)inserted;
      return &it->second;
    }
    parent->get_ref<Json::array_t&>().push_back(std::move(value));
    return &parent->get_ref<Json::array_t&>().back();
  }

  bool open(Json container) {
    if (frames_.size() >= kMaxJsonDepth) {
      error_ = "nesting deeper than " + std::to_string(kMaxJsonDepth) + " levels";
      return false;
    }
    // Only the innermost container grows, so pointers held by outer frames stay valid.
    frames_.push_back(Frame{add(std::move(container)), {}});
    return true;
  }

  bool close() {
    frames_.pop_back();
    return true;
  }

  Json root_;
  std::vector<Frame> frames_;
  std::string pending_key_;
  std::string error_;
};

bool strings_valid(const Json& v) {
  if (v.is_string()) return is_valid_utf8(v.get_ref<const std::string&>());
  if (v.is_object()) {
    for (const auto& [k, child] : v.items()) {
      if (!is_valid_utf8(k) || !strings_valid(child)) return false;
    }
  } else if (v.is_array()) {
    for (const auto& child : v) {
      if (!strings_valid(child)) return false;
    }
  }
  return true;
}

const char* kind_name(const Json& v) {
  if (v.is_number_float()) return "a fractional number";
  if (v.is_number_unsigned() || v.is_number_integer()) return "an integer";
  return v.type_name();
}

zarn::Error wrong_type(std::string_view context, std::string_view wanted, const Json& v) {
  return json_error(context, "expected " + std::string(wanted) + ", got " + kind_name(v));
}

}  // namespace

zarn::Result<Json> parse_strict_json(std::string_view text) {
  StrictBuilder builder;
  const bool ok = Json::sax_parse(text.begin(), text.end(), &builder, Json::input_format_t::json,
                                  /*strict=*/true);
  if (!ok) {
    return zarn::make_error(builder.error().empty() ? "malformed JSON" : builder.error());
  }
  return builder.take();
}

zarn::Result<std::string> to_compact_text(const Json& value) {
  if (!strings_valid(value)) return zarn::make_error("JSON text would hold invalid UTF-8");
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

zarn::Error json_error(std::string_view context, std::string_view what) {
  std::string message(context);
  message += ": ";
  message += what;
  return zarn::Error{std::move(message)};
}

std::string json_path(std::string_view context, std::string_view key) {
  std::string path(context);
  path += '.';
  path += key;
  return path;
}

zarn::Result<std::string> json_string(const Json& value, std::string_view context) {
  if (!value.is_string()) return wrong_type(context, "a string", value);
  return value.get<std::string>();
}

zarn::Result<std::int64_t> json_int64(const Json& value, std::string_view context) {
  if (value.is_number_unsigned()) {
    const auto u = value.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return json_error(context, "integer out of the signed 64-bit range");
    return static_cast<std::int64_t>(u);
  }
  if (value.is_number_integer()) return value.get<std::int64_t>();
  return wrong_type(context, "an integer", value);
}

zarn::Result<std::uint64_t> json_uint64(const Json& value, std::string_view context) {
  if (value.is_number_unsigned()) return value.get<std::uint64_t>();
  if (value.is_number_integer()) return json_error(context, "expected a non-negative integer");
  return wrong_type(context, "a non-negative integer", value);
}

zarn::Result<std::uint32_t> json_uint32(const Json& value, std::string_view context) {
  auto v = json_uint64(value, context);
  if (!v) return std::move(v).take_error();
  if (*v > std::numeric_limits<std::uint32_t>::max())
    return json_error(context, "integer out of the unsigned 32-bit range");
  return static_cast<std::uint32_t>(*v);
}

zarn::Result<bool> json_bool(const Json& value, std::string_view context) {
  if (!value.is_boolean()) return wrong_type(context, "a boolean", value);
  return value.get<bool>();
}

zarn::Result<void> json_expect_object(const Json& value, std::string_view context) {
  if (!value.is_object()) return wrong_type(context, "an object", value);
  return zarn::ok();
}

const Json* json_member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

zarn::Result<const Json*> json_require(const Json& object, std::string_view key,
                                       std::string_view context) {
  const Json* v = json_member(object, key);
  if (!v) return json_error(json_path(context, key), "missing required field");
  return v;
}

namespace {

template <typename F>
auto typed_member(const Json& object, std::string_view key, std::string_view context, F f)
    -> decltype(f(object, context)) {
  auto v = json_require(object, key, context);
  if (!v) return std::move(v).take_error();
  return f(**v, json_path(context, key));
}

}  // namespace

zarn::Result<std::string> json_string_member(const Json& object, std::string_view key,
                                             std::string_view context) {
  return typed_member(object, key, context, json_string);
}

zarn::Result<std::int64_t> json_int64_member(const Json& object, std::string_view key,
                                             std::string_view context) {
  return typed_member(object, key, context, json_int64);
}

zarn::Result<std::uint64_t> json_uint64_member(const Json& object, std::string_view key,
                                               std::string_view context) {
  return typed_member(object, key, context, json_uint64);
}

zarn::Result<std::uint32_t> json_uint32_member(const Json& object, std::string_view key,
                                               std::string_view context) {
  return typed_member(object, key, context, json_uint32);
}

zarn::Result<bool> json_bool_member(const Json& object, std::string_view key,
                                    std::string_view context) {
  return typed_member(object, key, context, json_bool);
}

}  // namespace chat::document
