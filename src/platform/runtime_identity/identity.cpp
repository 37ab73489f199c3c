#include "platform/runtime_identity/identity.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

#include "platform/base/unique_fd.h"
#include "platform/xdg_paths/xdg_paths.h"

namespace runtime_identity::unix {
namespace {

constexpr std::string_view kHeader = "zarn-identity v1";
// Four short lines; a bigger file is not ours.
constexpr std::size_t kMaxFileBytes = 1024;

void init_sodium() {
  if (sodium_init() < 0) std::abort();
}

zarn::Error sys_error(std::string what) {
  return zarn::make_error(std::move(what) + ": " + std::strerror(errno));
}

bool valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80           ? 1
                      : (c >> 5) == 0x6  ? 2
                      : (c >> 4) == 0xe  ? 3
                      : (c >> 3) == 0x1e ? 4
                                         : 0;
    if (len == 0 || i + len > s.size()) return false;
    std::uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1f) : len == 3 ? (c & 0x0f) : (c & 0x07);
    for (std::size_t k = 1; k < len; ++k) {
      auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xc0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3f);
    }
    static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
    i += len;
  }
  return true;
}

zarn::Result<void> check_name(std::string_view name) {
  if (name.size() > kMaxNameBytes) return zarn::make_error("identity name is too long");
  if (!valid_utf8(name)) return zarn::make_error("identity name is not UTF-8");
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) return zarn::make_error("identity name holds control characters");
  }
  return zarn::ok();
}

// Strict lower-case hex of exactly out.size() bytes.
bool parse_hex(std::string_view text, std::span<std::uint8_t> out) {
  if (text.size() != out.size() * 2) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < out.size(); ++i) {
    int hi = nibble(text[2 * i]), lo = nibble(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return true;
}

std::string to_hex(std::span<const std::uint8_t> bytes) {
  std::string out(bytes.size() * 2 + 1, '\0');
  sodium_bin2hex(out.data(), out.size(), bytes.data(), bytes.size());
  out.pop_back();
  return out;
}

// The secret key must be the one its seed produces, and carry the stated public key.
zarn::Result<void> check_key_pair(const Identity& id) {
  init_sodium();
  std::array<std::uint8_t, kPublicKeyBytes> pk{};
  SecretKey sk;
  crypto_sign_seed_keypair(pk.data(), sk.bytes.data(), id.secret_key.bytes.data());
  bool same_sk = sodium_memcmp(sk.bytes.data(), id.secret_key.bytes.data(), sk.bytes.size()) == 0;
  if (!same_sk || pk != id.public_key) {
    return zarn::make_error("identity keys do not form a key pair");
  }
  return zarn::ok();
}

std::optional<std::string_view> field(std::string_view line, std::string_view key) {
  if (line.size() < key.size() + 1 || line.substr(0, key.size()) != key || line[key.size()] != ' ')
    return std::nullopt;
  return line.substr(key.size() + 1);
}

}  // namespace

SecretKey::~SecretKey() {
  sodium_memzero(bytes.data(), bytes.size());
}

std::optional<std::filesystem::path> default_path() {
  auto config = xdg_paths::config_dir();
  if (!config) return std::nullopt;
  return *config / "zarn" / "identity";
}

zarn::Result<Identity> create(std::string name) {
  ZARN_TRY(check_name(name));
  init_sodium();
  Identity id;
  crypto_sign_keypair(id.public_key.data(), id.secret_key.bytes.data());
  id.name = std::move(name);
  return id;
}

std::string encode(const Identity& identity) {
  std::string out;
  out += kHeader;
  out += "\nname " + identity.name;
  out += "\npublic " + to_hex(identity.public_key);
  out += "\nsecret " + to_hex(identity.secret_key.bytes);
  out += "\n";
  return out;
}

zarn::Result<Identity> decode(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    auto nl = text.find('\n');
    if (nl == std::string_view::npos) return zarn::make_error("identity file is not terminated");
    lines.push_back(text.substr(0, nl));
    text.remove_prefix(nl + 1);
  }
  if (lines.size() != 4) return zarn::make_error("identity file must hold exactly four lines");
  if (lines[0] != kHeader) return zarn::make_error("identity file has an unknown header");

  Identity id;
  auto name = field(lines[1], "name");
  if (!name) return zarn::make_error("identity file lacks its name line");
  ZARN_TRY(check_name(*name));
  id.name = std::string(*name);

  auto pub = field(lines[2], "public");
  if (!pub || !parse_hex(*pub, id.public_key)) {
    return zarn::make_error("identity public key must be 64 lower-case hex digits");
  }
  auto sec = field(lines[3], "secret");
  if (!sec || !parse_hex(*sec, id.secret_key.bytes)) {
    return zarn::make_error("identity secret key must be 128 lower-case hex digits");
  }
  ZARN_TRY(check_key_pair(id));
  return id;
}

zarn::Result<Identity> load() {
  auto path = default_path();
  if (!path) return zarn::make_error("no config directory for the identity");
  return load_from(*path);
}

zarn::Result<Identity> load_from(const std::filesystem::path& path) {
  int raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (raw < 0) {
    if (errno == ENOENT) return zarn::make_error("no identity at " + path.string());
    return sys_error("cannot open identity " + path.string());
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{raw};

  struct stat st {};
  if (::fstat(raw, &st) != 0) return sys_error("cannot stat identity " + path.string());
  if (!S_ISREG(st.st_mode)) return zarn::make_error("identity " + path.string() + " is not a file");
  if ((st.st_mode & 077) != 0) {
    return zarn::make_error("identity " + path.string() + " is accessible by other users");
  }
  if (static_cast<std::size_t>(st.st_size) > kMaxFileBytes) {
    return zarn::make_error("identity " + path.string() + " is too large");
  }
  std::string text(kMaxFileBytes + 1, '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::read(raw, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return sys_error("cannot read identity " + path.string());
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (done > kMaxFileBytes) return zarn::make_error("identity " + path.string() + " is too large");
  text.resize(done);
  auto id = decode(text);
  sodium_memzero(text.data(), text.size());
  return id;
}

zarn::Result<void> save(const Identity& identity) {
  auto path = default_path();
  if (!path) return zarn::make_error("no config directory for the identity");
  return save_to(identity, *path);
}

zarn::Result<void> save_to(const Identity& identity, const std::filesystem::path& path) {
  ZARN_TRY(check_name(identity.name));
  ZARN_TRY(check_key_pair(identity));
  std::error_code ec;
  auto dir = path.parent_path();
  if (!dir.empty() && !std::filesystem::is_directory(dir, ec)) {
    std::filesystem::create_directories(dir, ec);
    if (ec) return zarn::make_error("cannot create " + dir.string() + ": " + ec.message());
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
  }

  std::string text = encode(identity);
  auto temp = path;
  temp += ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return sys_error("cannot write identity " + temp.string());
  // O_CREAT keeps the mode of a leftover file; make sure it is ours alone.
  bool ok = ::fchmod(fd, 0600) == 0;
  ok = ok && zarn::write_all(fd, text.data(), text.size()).has_value();
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  sodium_memzero(text.data(), text.size());
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    auto e = sys_error("cannot write identity " + path.string());
    ::unlink(temp.c_str());
    return e;
  }
  return zarn::ok();
}

}  // namespace runtime_identity::unix
