#include "actions/action_json.h"

#include <array>
#include <type_traits>
#include <utility>

#include "document/access.h"
#include "document/agent_work_json.h"

namespace chat::actions {
namespace {

using document::json_error;
using document::json_path;

const char* value_kind(const Json& v) {
  if (v.is_number_float()) return "a fractional number";
  if (v.is_number()) return "an integer";
  return v.type_name();
}

zarn::Error wrong_type(std::string_view context, std::string_view wanted, const Json& v) {
  return json_error(context, "expected " + std::string(wanted) + ", got " + value_kind(v));
}

// Reads the fields of one object in table order and keeps the first error.
class FieldReader {
 public:
  FieldReader(const Json& object, std::string_view context) : obj_(object), ctx_(context) {}

  void str(std::string_view key, std::string& out) { scalar(key, out, document::json_string); }
  void i64(std::string_view key, std::int64_t& out) { scalar(key, out, document::json_int64); }
  void u64(std::string_view key, std::uint64_t& out) { scalar(key, out, document::json_uint64); }
  void u32(std::string_view key, std::uint32_t& out) { scalar(key, out, document::json_uint32); }
  void boolean(std::string_view key, bool& out) { scalar(key, out, document::json_bool); }

  // A required member read by `read(value, context)`.
  template <typename T, typename F>
  void scalar(std::string_view key, T& out, F read) {
    if (failed()) return;
    const Json* v = document::json_member(obj_, key);
    if (!v) return fail(json_error(json_path(ctx_, key), "missing required field"));
    assign(out, read(*v, json_path(ctx_, key)));
  }

  // An optional member: absent or null reads as none.
  template <typename T, typename F>
  void optional(std::string_view key, std::optional<T>& out, F read) {
    if (failed()) return;
    const Json* v = document::json_member(obj_, key);
    if (!v || v->is_null()) {
      out.reset();
      return;
    }
    T value{};
    assign(value, read(*v, json_path(ctx_, key)));
    if (!failed()) out = std::move(value);
  }

  // A list that reads as empty when absent.
  template <typename T, typename F>
  void list(std::string_view key, std::vector<T>& out, F read) {
    if (failed()) return;
    out.clear();
    const Json* v = document::json_member(obj_, key);
    if (!v) return;
    const std::string path = json_path(ctx_, key);
    if (!v->is_array()) return fail(wrong_type(path, "an array", *v));
    for (std::size_t i = 0; i < v->size() && !failed(); ++i) {
      T item{};
      assign(item, read((*v)[i], path + "[" + std::to_string(i) + "]"));
      if (!failed()) out.push_back(std::move(item));
    }
  }

  bool failed() const { return error_.has_value(); }
  zarn::Error take_error() { return std::move(*error_); }

 private:
  template <typename T, typename R>
  void assign(T& out, R result) {
    if (!result.has_value()) return fail(std::move(result).take_error());
    out = std::move(result).value();
  }
  void fail(zarn::Error e) {
    if (!error_) error_ = std::move(e);
  }

  const Json& obj_;
  std::string_view ctx_;
  std::optional<zarn::Error> error_;
};

// Checks that `value` is an object, runs `fill` over a reader of it, and yields `out`.
template <typename T, typename Fill>
zarn::Result<T> read_record(const Json& value, std::string_view context, Fill fill) {
  if (!value.is_object()) return wrong_type(context, "an object", value);
  T out{};
  FieldReader r(value, context);
  fill(r, out);
  if (r.failed()) return r.take_error();
  return out;
}

Json tagged(std::string_view name, Json body) {
  Json j = Json::object();
  j[std::string(name)] = std::move(body);
  return j;
}

template <typename T>
Json optional_or_null(const std::optional<T>& v, Json (*write)(const T&)) {
  return v ? write(*v) : Json(nullptr);
}

// ---- Records.

Json span_unit_json(SpanUnit unit) {
  return unit == SpanUnit::Chars ? "Chars" : "Bytes";
}
Json channel_kind_json(ChannelKind kind) {
  return kind == ChannelKind::Text ? "Text" : "Voice";
}

zarn::Result<SpanUnit> read_span_unit(const Json& v, std::string_view ctx) {
  if (!v.is_string()) return wrong_type(ctx, "a string naming the variant", v);
  const auto& s = v.get_ref<const std::string&>();
  if (s == "Chars") return SpanUnit::Chars;
  if (s == "Bytes") return SpanUnit::Bytes;
  return json_error(ctx, "unknown variant \"" + s + "\", expected Chars or Bytes");
}

zarn::Result<ChannelKind> read_channel_kind(const Json& v, std::string_view ctx) {
  if (!v.is_string()) return wrong_type(ctx, "a string naming the variant", v);
  const auto& s = v.get_ref<const std::string&>();
  if (s == "Text") return ChannelKind::Text;
  if (s == "Voice") return ChannelKind::Voice;
  return json_error(ctx, "unknown variant \"" + s + "\", expected Text or Voice");
}

Json span_json(const Span& s) {
  Json j = Json::object();
  j["start"] = s.start;
  j["end"] = s.end;
  j["unit"] = span_unit_json(s.unit);
  return j;
}

zarn::Result<Span> read_span(const Json& v, std::string_view ctx) {
  return read_record<Span>(v, ctx, [](FieldReader& r, Span& s) {
    r.u64("start", s.start);
    r.u64("end", s.end);
    r.scalar("unit", s.unit, read_span_unit);
  });
}

Json resource_ref_json(const ResourceRef& ref) {
  Json j = Json::object();
  j["kind"] = ref.kind;
  j["id"] = ref.id;
  j["label"] = ref.label;
  j["span"] = optional_or_null(ref.span, span_json);
  return j;
}

zarn::Result<ResourceRef> read_resource_ref(const Json& v, std::string_view ctx) {
  return read_record<ResourceRef>(v, ctx, [](FieldReader& r, ResourceRef& ref) {
    r.str("kind", ref.kind);
    r.str("id", ref.id);
    r.str("label", ref.label);
    r.optional("span", ref.span, read_span);
  });
}

Json mention_json(const Mention& m) {
  Json j = Json::object();
  j["user"] = m.user;
  j["start"] = m.start;
  j["len"] = m.len;
  j["is_agent"] = m.is_agent;
  return j;
}

zarn::Result<Mention> read_mention(const Json& v, std::string_view ctx) {
  return read_record<Mention>(v, ctx, [](FieldReader& r, Mention& m) {
    r.str("user", m.user);
    r.u64("start", m.start);
    r.u64("len", m.len);
    r.boolean("is_agent", m.is_agent);
  });
}

Json attachment_json(const Attachment& a) {
  Json body = Json::object();
  if (const auto* img = std::get_if<ImageAttachment>(&a)) {
    body["name"] = img->name;
    body["blob"] = img->blob;
    body["w"] = img->w;
    body["h"] = img->h;
    return tagged("Image", std::move(body));
  }
  if (const auto* vid = std::get_if<VideoAttachment>(&a)) {
    body["name"] = vid->name;
    body["blob"] = vid->blob;
    body["w"] = vid->w;
    body["h"] = vid->h;
    body["size"] = vid->size;
    return tagged("Video", std::move(body));
  }
  const auto& file = std::get<FileAttachment>(a);
  body["name"] = file.name;
  body["blob"] = file.blob;
  body["size"] = file.size;
  return tagged("File", std::move(body));
}

// The single member of an externally tagged value, or why there is none.
zarn::Result<std::pair<std::string, const Json*>> tag_of(const Json& v, std::string_view ctx) {
  if (!v.is_object()) return wrong_type(ctx, "an object with one member naming the variant", v);
  if (v.size() != 1) {
    return json_error(ctx, "expected an object with exactly one member naming the variant, got " +
                               std::to_string(v.size()) + " members");
  }
  auto it = v.begin();
  return std::pair<std::string, const Json*>{it.key(), &it.value()};
}

zarn::Result<Attachment> read_attachment(const Json& v, std::string_view ctx) {
  auto tag = tag_of(v, ctx);
  if (!tag) return std::move(tag).take_error();
  const auto& [name, body] = *tag;
  const std::string path = json_path(ctx, name);
  if (name == "Image") {
    auto r = read_record<ImageAttachment>(*body, path, [](FieldReader& f, ImageAttachment& a) {
      f.str("name", a.name);
      f.str("blob", a.blob);
      f.u32("w", a.w);
      f.u32("h", a.h);
    });
    if (!r) return std::move(r).take_error();
    return Attachment{std::move(r).value()};
  }
  if (name == "Video") {
    auto r = read_record<VideoAttachment>(*body, path, [](FieldReader& f, VideoAttachment& a) {
      f.str("name", a.name);
      f.str("blob", a.blob);
      f.u32("w", a.w);
      f.u32("h", a.h);
      f.u64("size", a.size);
    });
    if (!r) return std::move(r).take_error();
    return Attachment{std::move(r).value()};
  }
  if (name == "File") {
    auto r = read_record<FileAttachment>(*body, path, [](FieldReader& f, FileAttachment& a) {
      f.str("name", a.name);
      f.str("blob", a.blob);
      f.u64("size", a.size);
    });
    if (!r) return std::move(r).take_error();
    return Attachment{std::move(r).value()};
  }
  return json_error(ctx, "unknown variant \"" + name + "\", expected Image, Video or File");
}

zarn::Result<std::string> read_string(const Json& v, std::string_view ctx) {
  return document::json_string(v, ctx);
}

zarn::Result<document::AgentWork> read_agent_work(const Json& v, std::string_view ctx) {
  return document::from_json<document::AgentWork>(v, ctx);
}

Json string_json(const std::string& s) {
  return s;
}

// ---- ChatAction variant bodies: one writer and one field list per variant.

Json body(const SendMessage& a) {
  Json j = Json::object();
  j["channel"] = a.channel;
  j["id"] = a.id;
  j["author"] = a.author;
  j["ts"] = a.ts;
  j["text"] = a.text;
  j["parent"] = optional_or_null(a.parent, string_json);
  j["attachment"] = optional_or_null(a.attachment, attachment_json);
  j["mentions"] = Json::array();
  for (const auto& m : a.mentions) j["mentions"].push_back(mention_json(m));
  j["reference"] = optional_or_null(a.reference, resource_ref_json);
  return j;
}
void fields(FieldReader& r, SendMessage& a) {
  r.str("channel", a.channel);
  r.str("id", a.id);
  r.str("author", a.author);
  r.i64("ts", a.ts);
  r.str("text", a.text);
  r.optional("parent", a.parent, read_string);
  r.optional("attachment", a.attachment, read_attachment);
  r.list("mentions", a.mentions, read_mention);
  r.optional("reference", a.reference, read_resource_ref);
}

Json body(const EditMessage& a) {
  return Json{{"channel", a.channel}, {"id", a.id}, {"text", a.text}, {"ts", a.ts}};
}
void fields(FieldReader& r, EditMessage& a) {
  r.str("channel", a.channel);
  r.str("id", a.id);
  r.str("text", a.text);
  r.i64("ts", a.ts);
}

Json body(const DeleteMessage& a) {
  return Json{{"channel", a.channel}, {"id", a.id}};
}
void fields(FieldReader& r, DeleteMessage& a) {
  r.str("channel", a.channel);
  r.str("id", a.id);
}

template <typename Reaction>
Json reaction_body(const Reaction& a) {
  return Json{{"channel", a.channel}, {"msg", a.msg}, {"emoji", a.emoji}, {"user", a.user}};
}
template <typename Reaction>
void reaction_fields(FieldReader& r, Reaction& a) {
  r.str("channel", a.channel);
  r.str("msg", a.msg);
  r.str("emoji", a.emoji);
  r.str("user", a.user);
}
Json body(const AddReaction& a) {
  return reaction_body(a);
}
void fields(FieldReader& r, AddReaction& a) {
  reaction_fields(r, a);
}
Json body(const RemoveReaction& a) {
  return reaction_body(a);
}
void fields(FieldReader& r, RemoveReaction& a) {
  reaction_fields(r, a);
}

Json body(const PinMessage& a) {
  return Json{{"channel", a.channel}, {"msg", a.msg}, {"pinned", a.pinned}};
}
void fields(FieldReader& r, PinMessage& a) {
  r.str("channel", a.channel);
  r.str("msg", a.msg);
  r.boolean("pinned", a.pinned);
}

Json body(const CreateChannel& a) {
  return Json{{"workspace", a.workspace},
              {"category", a.category},
              {"id", a.id},
              {"name", a.name},
              {"kind", channel_kind_json(a.kind)}};
}
void fields(FieldReader& r, CreateChannel& a) {
  r.str("workspace", a.workspace);
  r.str("category", a.category);
  r.str("id", a.id);
  r.str("name", a.name);
  r.scalar("kind", a.kind, read_channel_kind);
}

Json body(const CreateCategory& a) {
  return Json{{"workspace", a.workspace}, {"id", a.id}, {"name", a.name}};
}
void fields(FieldReader& r, CreateCategory& a) {
  r.str("workspace", a.workspace);
  r.str("id", a.id);
  r.str("name", a.name);
}

Json body(const RenameCategory& a) {
  return Json{{"id", a.id}, {"name", a.name}};
}
void fields(FieldReader& r, RenameCategory& a) {
  r.str("id", a.id);
  r.str("name", a.name);
}

Json body(const DeleteCategory& a) {
  return Json{{"id", a.id}};
}
void fields(FieldReader& r, DeleteCategory& a) {
  r.str("id", a.id);
}

Json body(const SetCategoryCollapsed& a) {
  return Json{{"id", a.id}, {"collapsed", a.collapsed}};
}
void fields(FieldReader& r, SetCategoryCollapsed& a) {
  r.str("id", a.id);
  r.boolean("collapsed", a.collapsed);
}

Json body(const ReorderChannel& a) {
  return Json{{"id", a.id}, {"up", a.up}};
}
void fields(FieldReader& r, ReorderChannel& a) {
  r.str("id", a.id);
  r.boolean("up", a.up);
}

Json body(const RenameChannel& a) {
  return Json{{"id", a.id}, {"name", a.name}};
}
void fields(FieldReader& r, RenameChannel& a) {
  r.str("id", a.id);
  r.str("name", a.name);
}

Json body(const DeleteChannel& a) {
  return Json{{"id", a.id}};
}
void fields(FieldReader& r, DeleteChannel& a) {
  r.str("id", a.id);
}

Json body(const ArchiveChannel& a) {
  return Json{{"id", a.id}, {"archived", a.archived}};
}
void fields(FieldReader& r, ArchiveChannel& a) {
  r.str("id", a.id);
  r.boolean("archived", a.archived);
}

Json body(const MarkRead& a) {
  return Json{{"channel", a.channel}, {"user", a.user}, {"count", a.count}};
}
void fields(FieldReader& r, MarkRead& a) {
  r.str("channel", a.channel);
  r.str("user", a.user);
  r.i64("count", a.count);
}

Json body(const SetAgentWork& a) {
  Json j = Json::object();
  j["channel"] = a.channel;
  j["msg"] = a.msg;
  j["work"] = document::to_json(a.work);
  j["say"] = optional_or_null(a.say, string_json);
  return j;
}
void fields(FieldReader& r, SetAgentWork& a) {
  r.str("channel", a.channel);
  r.str("msg", a.msg);
  r.scalar("work", a.work, read_agent_work);
  r.optional("say", a.say, read_string);
}

Json body(const JoinCall& a) {
  return Json{{"channel", a.channel}, {"user", a.user}};
}
void fields(FieldReader& r, JoinCall& a) {
  r.str("channel", a.channel);
  r.str("user", a.user);
}

Json body(const LeaveCall& a) {
  return Json{{"channel", a.channel}, {"user", a.user}};
}
void fields(FieldReader& r, LeaveCall& a) {
  r.str("channel", a.channel);
  r.str("user", a.user);
}

Json body(const SetCallState& a) {
  return Json{{"channel", a.channel}, {"user", a.user},         {"talking", a.talking},
              {"muted", a.muted},     {"deafened", a.deafened}, {"audio_only", a.audio_only}};
}
void fields(FieldReader& r, SetCallState& a) {
  r.str("channel", a.channel);
  r.str("user", a.user);
  r.boolean("talking", a.talking);
  r.boolean("muted", a.muted);
  r.boolean("deafened", a.deafened);
  r.boolean("audio_only", a.audio_only);
}

Json body(const SetScreenShare& a) {
  return Json{{"channel", a.channel}, {"user", a.user}, {"sharing", a.sharing}};
}
void fields(FieldReader& r, SetScreenShare& a) {
  r.str("channel", a.channel);
  r.str("user", a.user);
  r.boolean("sharing", a.sharing);
}

Json body(const SetCallTicket& a) {
  return Json{{"channel", a.channel}, {"user", a.user}, {"ticket", a.ticket}};
}
void fields(FieldReader& r, SetCallTicket& a) {
  r.str("channel", a.channel);
  r.str("user", a.user);
  r.str("ticket", a.ticket);
}

// ---- ChatOperation variant bodies.

Json body(const OpenWorkspace& o) {
  return Json{{"workspace", o.workspace}};
}
void fields(FieldReader& r, OpenWorkspace& o) {
  r.str("workspace", o.workspace);
}

Json body(const OpenChannel& o) {
  return Json{{"workspace", o.workspace}, {"channel", o.channel}};
}
void fields(FieldReader& r, OpenChannel& o) {
  r.str("workspace", o.workspace);
  r.str("channel", o.channel);
}

Json body(const OpenCategory& o) {
  return Json{{"workspace", o.workspace}, {"category", o.category}};
}
void fields(FieldReader& r, OpenCategory& o) {
  r.str("workspace", o.workspace);
  r.str("category", o.category);
}

Json body(const RevealMessage& o) {
  Json j = Json::object();
  j["workspace"] = o.workspace;
  j["channel"] = o.channel;
  j["message"] = o.message;
  j["parent"] = optional_or_null(o.parent, string_json);
  return j;
}
void fields(FieldReader& r, RevealMessage& o) {
  r.str("workspace", o.workspace);
  r.str("channel", o.channel);
  r.str("message", o.message);
  r.optional("parent", o.parent, read_string);
}

Json body(const OpenPerson& o) {
  return Json{{"user", o.user}};
}
void fields(FieldReader& r, OpenPerson& o) {
  r.str("user", o.user);
}

Json body(const ImportAttachment& o) {
  return Json{{"channel", o.channel}, {"path", o.path}};
}
void fields(FieldReader& r, ImportAttachment& o) {
  r.str("channel", o.channel);
  r.str("path", o.path);
}

// ---- Externally tagged enumerations over a std::variant whose alternatives carry kName.

template <typename Variant>
Json variant_json(const Variant& v) {
  return std::visit(
      [](const auto& alt) { return tagged(std::decay_t<decltype(alt)>::kName, body(alt)); }, v);
}

template <typename Variant, std::size_t I = 0>
zarn::Result<Variant> read_alternative(std::string_view name, const Json& value,
                                       std::string_view ctx) {
  if constexpr (I == std::variant_size_v<Variant>) {
    return json_error(ctx, "unknown variant \"" + std::string(name) + "\"");
  } else {
    using Alt = std::variant_alternative_t<I, Variant>;
    if (name != Alt::kName) return read_alternative<Variant, I + 1>(name, value, ctx);
    const std::string path = json_path(ctx, Alt::kName);
    auto alt = read_record<Alt>(value, path, [](FieldReader& r, Alt& a) { fields(r, a); });
    if (!alt) return std::move(alt).take_error();
    return Variant{std::in_place_index<I>, std::move(alt).value()};
  }
}

template <typename Variant>
zarn::Result<Variant> read_variant(const Json& v, std::string_view ctx) {
  auto tag = tag_of(v, ctx);
  if (!tag) return std::move(tag).take_error();
  return read_alternative<Variant>(tag->first, *tag->second, ctx);
}

std::string compact(const Json& j, std::string_view stop_message) {
  try {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
  } catch (const Json::exception&) {
    document::stop(stop_message);
  }
}

template <typename T, typename Read>
zarn::Result<T> parse_then(std::string_view text, Read read) {
  auto parsed = document::parse_strict_json(text);
  if (!parsed) return std::move(parsed).take_error();
  return read(*parsed);
}

}  // namespace

Json to_json_value(const ChatAction& action) {
  return variant_json(action);
}
Json to_json_value(const ChatOperation& op) {
  return variant_json(op);
}
Json to_json_value(const ResourceRef& ref) {
  return resource_ref_json(ref);
}

std::string to_json_text(const ChatAction& action) {
  return compact(to_json_value(action), "ChatAction is always serializable");
}
std::string to_json_text(const ChatOperation& op) {
  return compact(to_json_value(op), "ChatOperation is always serializable");
}
std::string to_json_text(const ResourceRef& ref) {
  return compact(to_json_value(ref), "ResourceRef is always serializable");
}

zarn::Result<ChatAction> chat_action_from_json(const Json& value) {
  return read_variant<ChatAction>(value, "ChatAction");
}
zarn::Result<ChatOperation> chat_operation_from_json(const Json& value) {
  return read_variant<ChatOperation>(value, "ChatOperation");
}
zarn::Result<ResourceRef> resource_ref_from_json(const Json& value) {
  return read_resource_ref(value, "ResourceRef");
}

zarn::Result<ChatAction> decode_chat_action(std::string_view text) {
  return parse_then<ChatAction>(text, chat_action_from_json);
}
zarn::Result<ChatOperation> decode_chat_operation(std::string_view text) {
  return parse_then<ChatOperation>(text, chat_operation_from_json);
}
zarn::Result<ResourceRef> decode_resource_ref(std::string_view text) {
  return parse_then<ResourceRef>(text, resource_ref_from_json);
}

zarn_actions::EncodedAction encode_chat_action(const ChatAction& action) {
  return {std::string(kChatActionType), to_json_text(action)};
}
zarn_actions::EncodedAction encode_chat_operation(const ChatOperation& op) {
  return {std::string(kChatOperationType), to_json_text(op)};
}

}  // namespace chat::actions
