// TLS side of an endpoint: a self-signed X.509 certificate over the endpoint's Ed25519 key, and
// the check that a peer's certificate carries the key its address named. The certificate is
// never checked against a CA; the key itself is the identity. Built once per endpoint, then
// read-only, so sessions on any thread may share it.
#pragma once

#include <gnutls/gnutls.h>

#include <memory>
#include <optional>

#include "platform/base/result.h"
#include "platform/p2p/keys.h"

namespace p2p {

// TLS 1.3 only, as QUIC requires.
inline constexpr const char* kTlsPriority =
    "NORMAL:-VERS-ALL:+VERS-TLS1.3:%DISABLE_TLS13_COMPAT_MODE";

class TlsIdentity {
 public:
  static zarn::Result<std::unique_ptr<TlsIdentity>> create(const SecretKey& secret);
  ~TlsIdentity();
  TlsIdentity(const TlsIdentity&) = delete;
  TlsIdentity& operator=(const TlsIdentity&) = delete;

  gnutls_certificate_credentials_t credentials() const { return cred_; }
  const PublicKey& public_key() const { return public_key_; }

 private:
  TlsIdentity() = default;
  gnutls_certificate_credentials_t cred_ = nullptr;
  PublicKey public_key_;
};

// The Ed25519 key in the peer's leaf certificate, if it sent one.
std::optional<PublicKey> peer_public_key(gnutls_session_t session);

}  // namespace p2p
