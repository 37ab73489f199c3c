#include "platform/p2p/tls_identity.h"

#include <gnutls/crypto.h>
#include <gnutls/x509.h>

#include <ctime>
#include <string>

namespace p2p {
namespace {

// Deletes a GnuTLS object through its own deinit function on scope exit.
template <typename T, void (*Deinit)(T)>
struct GnutlsHandle {
  T h = nullptr;
  ~GnutlsHandle() {
    if (h) Deinit(h);
  }
};

zarn::Error tls_error(const char* what, int rv) {
  return zarn::make_error(std::string(what) + ": " + gnutls_strerror(rv));
}

}  // namespace

zarn::Result<std::unique_ptr<TlsIdentity>> TlsIdentity::create(const SecretKey& secret) {
  std::unique_ptr<TlsIdentity> id(new TlsIdentity());
  id->public_key_ = public_key_of(secret);

  GnutlsHandle<gnutls_x509_privkey_t, gnutls_x509_privkey_deinit> key;
  if (int rv = gnutls_x509_privkey_init(&key.h); rv < 0) return tls_error("privkey init", rv);
  gnutls_datum_t x{id->public_key_.bytes.data(), 32};
  gnutls_datum_t k{const_cast<unsigned char*>(secret.seed.data()), 32};
  if (int rv = gnutls_x509_privkey_import_ecc_raw(key.h, GNUTLS_ECC_CURVE_ED25519, &x, nullptr, &k);
      rv < 0) {
    return tls_error("import Ed25519 key", rv);
  }

  GnutlsHandle<gnutls_x509_crt_t, gnutls_x509_crt_deinit> crt;
  if (int rv = gnutls_x509_crt_init(&crt.h); rv < 0) return tls_error("crt init", rv);
  const std::time_t now = std::time(nullptr);
  unsigned char serial[8];
  if (int rv = gnutls_rnd(GNUTLS_RND_NONCE, serial, sizeof serial); rv < 0) {
    return tls_error("serial", rv);
  }
  serial[0] &= 0x7F;  // a positive DER integer
  const char* cn = "p2p endpoint";
  int rv = gnutls_x509_crt_set_version(crt.h, 3);
  if (rv >= 0) rv = gnutls_x509_crt_set_serial(crt.h, serial, sizeof serial);
  // Clocks of peers disagree; validity dates carry no meaning for a key-pinned certificate.
  if (rv >= 0) rv = gnutls_x509_crt_set_activation_time(crt.h, now - 86400);
  if (rv >= 0) rv = gnutls_x509_crt_set_expiration_time(crt.h, now + 10 * 365 * 86400L);
  if (rv >= 0) {
    rv = gnutls_x509_crt_set_dn_by_oid(crt.h, GNUTLS_OID_X520_COMMON_NAME, 0, cn,
                                       static_cast<unsigned>(std::char_traits<char>::length(cn)));
  }
  if (rv >= 0) rv = gnutls_x509_crt_set_key(crt.h, key.h);
  if (rv >= 0) rv = gnutls_x509_crt_sign2(crt.h, crt.h, key.h, GNUTLS_DIG_UNKNOWN, 0);
  if (rv < 0) return tls_error("self-signed certificate", rv);

  if (rv = gnutls_certificate_allocate_credentials(&id->cred_); rv < 0) {
    return tls_error("credentials", rv);
  }
  if (rv = gnutls_certificate_set_x509_key(id->cred_, &crt.h, 1, key.h); rv < 0) {
    return tls_error("set certificate", rv);
  }
  return id;
}

TlsIdentity::~TlsIdentity() {
  if (cred_) gnutls_certificate_free_credentials(cred_);
}

std::optional<PublicKey> peer_public_key(gnutls_session_t session) {
  unsigned count = 0;
  const gnutls_datum_t* certs = gnutls_certificate_get_peers(session, &count);
  if (!certs || count == 0) return std::nullopt;
  GnutlsHandle<gnutls_x509_crt_t, gnutls_x509_crt_deinit> crt;
  if (gnutls_x509_crt_init(&crt.h) < 0) return std::nullopt;
  if (gnutls_x509_crt_import(crt.h, &certs[0], GNUTLS_X509_FMT_DER) < 0) return std::nullopt;
  gnutls_ecc_curve_t curve{};
  gnutls_datum_t x{}, y{};
  if (gnutls_x509_crt_get_pk_ecc_raw(crt.h, &curve, &x, &y) < 0) return std::nullopt;
  std::optional<PublicKey> out;
  if (curve == GNUTLS_ECC_CURVE_ED25519 && x.size == 32) {
    out.emplace();
    std::copy(x.data, x.data + 32, out->bytes.begin());
  }
  gnutls_free(x.data);
  gnutls_free(y.data);
  return out;
}

}  // namespace p2p
