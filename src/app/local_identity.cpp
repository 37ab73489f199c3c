#include "app/local_identity.h"

#include <fcntl.h>
#include <locale.h>
#include <sodium.h>
#include <unistd.h>
#include <wctype.h>

#include <array>
#include <cerrno>
#include <optional>
#include <vector>

#include "platform/base/unique_fd.h"
#include "platform/zarn_ui/avatar.h"

namespace chat::app {
namespace {

// Peer ids and host names are one short line; anything bigger is not what we wrote.
constexpr std::size_t kMaxSmallFile = 4096;
constexpr std::size_t kMaxPeerIdBytes = 128;

constexpr std::string_view kWhitespace = " \t\n\r\v\f";

std::string_view trim(std::string_view s) {
  auto first = s.find_first_not_of(kWhitespace);
  if (first == std::string_view::npos) return {};
  auto last = s.find_last_not_of(kWhitespace);
  return s.substr(first, last - first + 1);
}

std::string hex(std::span<const std::uint8_t> bytes) {
  std::string out(bytes.size() * 2 + 1, '\0');
  sodium_bin2hex(out.data(), out.size(), bytes.data(), bytes.size());
  out.pop_back();
  return out;
}

std::string hex64(std::uint64_t v) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) out[static_cast<std::size_t>(i)] = kHex[v & 0xf];
  return out;
}

std::uint32_t color_of(std::string_view id) {
  return static_cast<std::uint32_t>(fnv1a64(id) % 8);
}

struct SmallFile {
  enum class Status { Read, Missing, Unreadable, TooLarge } status;
  std::string text;
};

SmallFile read_small_file(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return {errno == ENOENT ? SmallFile::Status::Missing : SmallFile::Status::Unreadable, {}};
  }
  std::string text(kMaxSmallFile + 1, '\0');
  std::size_t done = 0;
  bool failed = false;
  while (done < text.size()) {
    ssize_t n = ::read(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (failed) return {SmallFile::Status::Unreadable, {}};
  if (done > kMaxSmallFile) return {SmallFile::Status::TooLarge, {}};
  text.resize(done);
  return {SmallFile::Status::Read, std::move(text)};
}

// The id ends up in document keys and resource addresses, so only a plain one-token "u_" id
// taken from the file is trusted.
bool usable_peer_id(std::string_view id) {
  if (id.size() < 3 || id.size() > kMaxPeerIdBytes || id.substr(0, 2) != "u_") return false;
  for (char c : id) {
    if (c < 0x21 || c > 0x7e) return false;
  }
  return true;
}

bool write_file_synced(const std::filesystem::path& path, std::string_view text) {
  zarn::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!fd.valid()) return false;
  bool ok = zarn::write_all(fd.get(), text.data(), text.size()).has_value();
  ok = ok && ::fsync(fd.get()) == 0;
  return fd.close() && ok;
}

// Stores a new id; answers the id now in the file (another start may have won the race) or
// nothing when the file cannot be written.
std::optional<std::string> store_peer_id(const std::filesystem::path& dir, bool replace) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return std::nullopt;
  const auto path = dir / kPeerIdFileName;
  std::string id = random_user_id();
  std::array<std::uint8_t, 8> tag{};
  randombytes_buf(tag.data(), tag.size());
  auto temp = dir / (std::string(kPeerIdFileName) + "." + hex(tag) + ".tmp");
  if (!write_file_synced(temp, id + "\n")) {
    ::unlink(temp.c_str());
    return std::nullopt;
  }
  // A fresh file is created with link() so two simultaneous first starts agree on one id.
  int rc = replace ? ::rename(temp.c_str(), path.c_str()) : ::link(temp.c_str(), path.c_str());
  int err = errno;
  ::unlink(temp.c_str());
  if (rc == 0) return id;
  if (err != EEXIST) return std::nullopt;
  auto theirs = read_small_file(path);
  if (theirs.status != SmallFile::Status::Read) return std::nullopt;
  auto other = trim(theirs.text);
  if (!usable_peer_id(other)) return std::nullopt;
  return std::string(other);
}

std::optional<std::string> peer_id_from(const std::filesystem::path& dir) {
  auto file = read_small_file(dir / kPeerIdFileName);
  switch (file.status) {
    case SmallFile::Status::Read: {
      auto text = trim(file.text);
      if (text.empty()) return store_peer_id(dir, /*replace=*/true);
      if (usable_peer_id(text)) return std::string(text);
      // Something else lives there; leave it for a person to look at.
      return std::nullopt;
    }
    case SmallFile::Status::Missing:
      return store_peer_id(dir, /*replace=*/false);
    case SmallFile::Status::Unreadable:
      return store_peer_id(dir, /*replace=*/true);
    case SmallFile::Status::TooLarge:
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string> env_var(const HostEnv& env, const char* name) {
  return env.var ? env.var(name) : std::nullopt;
}

std::string user_at_host(const IdentitySources& sources) {
  std::string user = env_var(sources.env, "USER")
                         .value_or(env_var(sources.env, "USERNAME").value_or(std::string()));
  std::string host;
  if (auto h = env_var(sources.env, "HOSTNAME"); h && !h->empty()) {
    host = *h;
  } else if (auto f = read_small_file(sources.hostname_file); f.status == SmallFile::Status::Read) {
    host = std::string(trim(f.text));
  }
  return user + "@" + host;
}

// UTF-8 code point at the front of `s`; an invalid sequence reads as its first byte alone,
// with no code point.
struct CodePoint {
  std::optional<std::uint32_t> value;
  std::size_t length = 0;
};

CodePoint first_code_point(std::string_view s) {
  auto c = static_cast<unsigned char>(s[0]);
  std::size_t len = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xe  ? 3
                    : (c >> 3) == 0x1e ? 4
                                       : 0;
  if (len == 0 || len > s.size()) return {std::nullopt, 1};
  std::uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1f) : len == 3 ? (c & 0x0f) : (c & 0x07);
  for (std::size_t k = 1; k < len; ++k) {
    auto cc = static_cast<unsigned char>(s[k]);
    if ((cc & 0xc0) != 0x80) return {std::nullopt, 1};
    cp = (cp << 6) | (cc & 0x3f);
  }
  return {cp, len};
}

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else {
    out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  }
}

// Unicode upper-casing independent of the process locale (which is usually "C" here).
std::uint32_t to_upper(std::uint32_t cp) {
  if (cp < 0x80) return (cp >= 'a' && cp <= 'z') ? cp - 32 : cp;
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  if (utf8 == locale_t{}) return cp;
  return static_cast<std::uint32_t>(towupper_l(static_cast<wint_t>(cp), utf8));
}

// Appends `word` with its first character upper-cased.
void append_capitalised(std::string& out, std::string_view word) {
  auto cp = first_code_point(word);
  if (cp.value) {
    append_utf8(out, to_upper(*cp.value));
  } else {
    out.append(word.substr(0, cp.length));
  }
  out.append(word.substr(cp.length));
}

LocalIdentity finish(std::string id, std::string name, std::uint32_t color_idx) {
  LocalIdentity out;
  out.id = std::move(id);
  out.initials = initials_of(name);
  out.name = std::move(name);
  out.color_idx = color_idx;
  return out;
}

}  // namespace

std::uint64_t fnv1a64(std::span<const std::uint8_t> bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (std::uint8_t b : bytes) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  return h;
}

std::uint64_t fnv1a64(std::string_view text) {
  return fnv1a64(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string fallback_display_name(const HostEnv& env) {
  auto raw = env_var(env, "USER");
  if (!raw) raw = env_var(env, "USERNAME");
  std::string_view name = raw ? trim(*raw) : std::string_view();
  std::string out;
  std::size_t pos = 0;
  while (pos <= name.size()) {
    auto end = name.find_first_of("._- ", pos);
    if (end == std::string_view::npos) end = name.size();
    if (end > pos) {
      if (!out.empty()) out.push_back(' ');
      append_capitalised(out, name.substr(pos, end - pos));
    }
    pos = end + 1;
  }
  return out.empty() ? "You" : out;
}

std::string initials_of(std::string_view name) {
  std::string initials = zarn_ui::Avatar::initials_for_name(name);
  return initials.empty() ? "Y" : initials;
}

std::string random_user_id() {
  if (sodium_init() < 0) std::abort();
  std::array<std::uint8_t, 16> uuid{};
  randombytes_buf(uuid.data(), uuid.size());
  uuid[6] = static_cast<std::uint8_t>((uuid[6] & 0x0f) | 0x40);
  uuid[8] = static_cast<std::uint8_t>((uuid[8] & 0x3f) | 0x80);
  return "u_" + hex(uuid);
}

IdentitySources process_identity_sources() {
  return IdentitySources{process_host_env(), [] { return runtime_identity::unix::load(); },
                         "/etc/hostname"};
}

LocalIdentity resolve_local_identity(const IdentitySources& sources) {
  if (sodium_init() < 0) std::abort();
  if (sources.platform_identity) {
    if (auto platform = sources.platform_identity()) {
      const auto& pk = platform->public_key;
      std::string name(trim(platform->name));
      if (name.empty()) name = fallback_display_name(sources.env);
      return finish("u_" + hex(std::span(pk).first(8)), std::move(name),
                    static_cast<std::uint32_t>(fnv1a64(pk) % 8));
    }
  }
  if (auto dir = resolve_data_dir(sources.env)) {
    if (auto id = peer_id_from(*dir)) {
      auto color = color_of(*id);
      return finish(std::move(*id), fallback_display_name(sources.env), color);
    }
  }
  std::string text = user_at_host(sources);
  std::string id = text == "@" ? random_user_id() : "u_" + hex64(fnv1a64(text));
  auto color = color_of(id);
  return finish(std::move(id), fallback_display_name(sources.env), color);
}

LocalIdentity resolve_local_identity() {
  return resolve_local_identity(process_identity_sources());
}

}  // namespace chat::app
