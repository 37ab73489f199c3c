// The local user as the application sees it, resolved once per application object from, in
// order: the platform signing identity, the "peer-id" file in the data directory, then user and
// host names. Resolution never fails; each source falls through to the next. All inputs are
// injectable (IdentitySources) so tests need not touch the real environment. Any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "app/data_dir.h"
#include "platform/base/result.h"
#include "platform/runtime_identity/identity.h"

namespace chat::app {

struct LocalIdentity {
  std::string id;  // always begins "u_"
  std::string name;
  std::string initials;
  std::uint32_t color_idx = 0;  // 0..7
};

struct IdentitySources {
  HostEnv env;
  std::function<zarn::Result<runtime_identity::unix::Identity>()> platform_identity;
  std::filesystem::path hostname_file = "/etc/hostname";
};

// The real environment, runtime_identity::unix::load and /etc/hostname.
IdentitySources process_identity_sources();

LocalIdentity resolve_local_identity(const IdentitySources& sources);
LocalIdentity resolve_local_identity();

// 64-bit FNV-1a.
std::uint64_t fnv1a64(std::span<const std::uint8_t> bytes);
std::uint64_t fnv1a64(std::string_view text);

// USER (or, only when USER is unset, USERNAME) split at '.', '_', '-' and ' ' into capitalised
// words; "You" when that leaves nothing.
std::string fallback_display_name(const HostEnv& env);

// Avatar initials for a display name; "Y" when the name yields none.
std::string initials_of(std::string_view name);

// "u_" plus a random version-4 UUID as 32 lower-case hex digits.
std::string random_user_id();

}  // namespace chat::app
