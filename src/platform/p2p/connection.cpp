#include "platform/p2p/connection.h"

#include <gnutls/crypto.h>
#include <ngtcp2/ngtcp2_crypto_gnutls.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "platform/p2p/tls_identity.h"

namespace p2p {
namespace {

constexpr std::uint64_t kAppErrorProtocol = 1;
constexpr std::uint64_t kAppErrorShutdown = 0;
// Receive windows: generous, since readers consume immediately and never hold data back.
constexpr std::uint64_t kStreamWindow = 8u << 20;
constexpr std::uint64_t kConnWindow = 16u << 20;
constexpr std::size_t kMaxIov = 16;
// Small writes are copied into the tail chunk so tiny records do not become one iovec each.
constexpr std::size_t kCoalesceLimit = 4096;
constexpr std::size_t kMaxChunk = 64 * 1024;

void random_bytes(std::uint8_t* out, std::size_t len) {
  (void)gnutls_rnd(GNUTLS_RND_RANDOM, out, len);
}

void rand_cb(std::uint8_t* dest, std::size_t len, const ngtcp2_rand_ctx*) {
  random_bytes(dest, len);
}

ngtcp2_cid random_cid() {
  ngtcp2_cid cid{};
  cid.datalen = kCidLen;
  random_bytes(cid.data, cid.datalen);
  return cid;
}

std::span<const std::uint8_t> cid_span(const ngtcp2_cid& cid) {
  return {cid.data, cid.datalen};
}

}  // namespace

std::uint64_t monotonic_now_ns() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

Connection::Connection(ConnectionHost& host, const TlsIdentity& identity, Role role)
    : host_(host), identity_(identity), role_(role) {
  conn_ref_.get_conn = &Connection::get_conn;
  conn_ref_.user_data = this;
}

Connection::~Connection() {
  if (conn_) ngtcp2_conn_del(conn_);
  if (tls_) gnutls_deinit(tls_);
}

ngtcp2_conn* Connection::get_conn(ngtcp2_crypto_conn_ref* ref) {
  return static_cast<Connection*>(ref->user_data)->conn_;
}

ngtcp2_path Connection::make_path(const Path& p) const {
  ngtcp2_path path{};
  path.local.addr = const_cast<sockaddr*>(reinterpret_cast<const sockaddr*>(&p.local));
  path.local.addrlen = p.local_len;
  path.remote.addr = const_cast<sockaddr*>(reinterpret_cast<const sockaddr*>(&p.remote));
  path.remote.addrlen = p.remote_len;
  return path;
}

ngtcp2_callbacks Connection::callbacks() const {
  ngtcp2_callbacks cb{};
  if (role_ == Role::Client) {
    cb.client_initial = ngtcp2_crypto_client_initial_cb;
    cb.recv_retry = ngtcp2_crypto_recv_retry_cb;
  } else {
    cb.recv_client_initial = ngtcp2_crypto_recv_client_initial_cb;
  }
  cb.recv_crypto_data = ngtcp2_crypto_recv_crypto_data_cb;
  cb.encrypt = ngtcp2_crypto_encrypt_cb;
  cb.decrypt = ngtcp2_crypto_decrypt_cb;
  cb.hp_mask = ngtcp2_crypto_hp_mask_cb;
  cb.update_key = ngtcp2_crypto_update_key_cb;
  cb.delete_crypto_aead_ctx = ngtcp2_crypto_delete_crypto_aead_ctx_cb;
  cb.delete_crypto_cipher_ctx = ngtcp2_crypto_delete_crypto_cipher_ctx_cb;
  cb.get_path_challenge_data = ngtcp2_crypto_get_path_challenge_data_cb;
  cb.version_negotiation = ngtcp2_crypto_version_negotiation_cb;
  cb.rand = rand_cb;
  cb.get_new_connection_id = &Connection::on_new_cid;
  cb.remove_connection_id = &Connection::on_remove_cid;
  cb.handshake_completed = &Connection::on_handshake_completed;
  cb.recv_stream_data = &Connection::on_recv_stream_data;
  cb.acked_stream_data_offset = &Connection::on_acked_stream_data;
  cb.stream_close = &Connection::on_stream_close;
  cb.extend_max_stream_data = &Connection::on_extend_max_stream_data;
  return cb;
}

zarn::Result<void> Connection::init_tls(const std::vector<std::string>& alpns) {
  const bool client = role_ == Role::Client;
  unsigned flags = client ? GNUTLS_CLIENT : GNUTLS_SERVER | GNUTLS_NO_AUTO_SEND_TICKET;
  if (int rv = gnutls_init(&tls_, flags | GNUTLS_NO_END_OF_EARLY_DATA); rv < 0) {
    return zarn::make_error(std::string("gnutls_init: ") + gnutls_strerror(rv));
  }
  const int rv = client ? ngtcp2_crypto_gnutls_configure_client_session(tls_)
                        : ngtcp2_crypto_gnutls_configure_server_session(tls_);
  if (rv != 0) return zarn::make_error("cannot configure TLS for QUIC");
  if (int r = gnutls_priority_set_direct(tls_, kTlsPriority, nullptr); r < 0) {
    return zarn::make_error(std::string("TLS priority: ") + gnutls_strerror(r));
  }
  gnutls_session_set_ptr(tls_, &conn_ref_);
  if (int r = gnutls_credentials_set(tls_, GNUTLS_CRD_CERTIFICATE, identity_.credentials());
      r < 0) {
    return zarn::make_error(std::string("TLS credentials: ") + gnutls_strerror(r));
  }
  std::vector<gnutls_datum_t> protos;
  for (const auto& a : alpns) {
    protos.push_back({reinterpret_cast<unsigned char*>(const_cast<char*>(a.data())),
                      static_cast<unsigned>(a.size())});
  }
  unsigned alpn_flags = GNUTLS_ALPN_MANDATORY | (client ? 0 : GNUTLS_ALPN_SERVER_PRECEDENCE);
  if (int r = gnutls_alpn_set_protocols(tls_, protos.data(), static_cast<unsigned>(protos.size()),
                                        alpn_flags);
      r < 0) {
    return zarn::make_error(std::string("ALPN: ") + gnutls_strerror(r));
  }
  if (client) gnutls_session_set_verify_function(tls_, &Connection::verify_peer);
  return zarn::ok();
}

int Connection::verify_peer(gnutls_session_t session) {
  auto* ref = static_cast<ngtcp2_crypto_conn_ref*>(gnutls_session_get_ptr(session));
  auto* self = static_cast<Connection*>(ref->user_data);
  const auto key = peer_public_key(session);
  if (!key || !self->expected_key_ || *key != *self->expected_key_) {
    self->callback_error_ = "peer key does not match the dialled address";
    return GNUTLS_E_CERTIFICATE_ERROR;
  }
  return 0;
}

namespace {

// Flow-control windows and timeouts shared by both ends of a connection.
ngtcp2_settings connection_settings(const ConnectionSettings& s, std::uint64_t now) {
  ngtcp2_settings settings;
  ngtcp2_settings_default(&settings);
  settings.initial_ts = now;
  settings.handshake_timeout = s.handshake_timeout_ns;
  settings.max_window = kConnWindow * 2;
  settings.max_stream_window = kStreamWindow * 2;
  return settings;
}

}  // namespace

zarn::Result<std::shared_ptr<Connection>> Connection::dial(
    ConnectionHost& host, const TlsIdentity& identity, const Path& path, const PublicKey& expected,
    std::string alpn, const ConnectionSettings& s, std::uint64_t now) {
  std::shared_ptr<Connection> c(new Connection(host, identity, Role::Client));
  c->path_ = path;
  c->expected_key_ = expected;
  const ngtcp2_cid dcid = random_cid();
  const ngtcp2_cid scid = random_cid();

  ngtcp2_settings settings = connection_settings(s, now);

  ngtcp2_transport_params params;
  ngtcp2_transport_params_default(&params);
  params.initial_max_streams_bidi = 0;
  params.initial_max_streams_uni = 0;
  params.initial_max_data = kConnWindow;
  params.max_idle_timeout = s.idle_timeout_ns;

  const ngtcp2_callbacks cb = c->callbacks();
  const ngtcp2_path np = c->make_path(c->path_);
  if (int rv = ngtcp2_conn_client_new(&c->conn_, &dcid, &scid, &np, NGTCP2_PROTO_VER_V1, &cb,
                                      &settings, &params, nullptr, c.get());
      rv != 0) {
    return zarn::make_error(std::string("ngtcp2_conn_client_new: ") + ngtcp2_strerror(rv));
  }
  ZARN_TRY(c->init_tls({std::move(alpn)}));
  ngtcp2_conn_set_tls_native_handle(c->conn_, c->tls_);
  ngtcp2_conn_set_keep_alive_timeout(c->conn_, s.keep_alive_ns);
  c->cids_.emplace_back(scid.data, scid.data + scid.datalen);
  host.register_cid(cid_span(scid), c.get());
  return c;
}

zarn::Result<std::shared_ptr<Connection>> Connection::accept(
    ConnectionHost& host, const TlsIdentity& identity, const Path& path, const ngtcp2_pkt_hd& hd,
    const std::vector<std::string>& alpns, const ConnectionSettings& s, std::uint64_t now) {
  std::shared_ptr<Connection> c(new Connection(host, identity, Role::Server));
  c->path_ = path;
  const ngtcp2_cid scid = random_cid();

  ngtcp2_settings settings = connection_settings(s, now);

  ngtcp2_transport_params params;
  ngtcp2_transport_params_default(&params);
  params.initial_max_streams_bidi = 0;
  params.initial_max_streams_uni = s.max_incoming_uni_streams;
  params.initial_max_stream_data_uni = kStreamWindow;
  params.initial_max_data = kConnWindow;
  params.max_idle_timeout = s.idle_timeout_ns;
  params.original_dcid = hd.dcid;
  params.stateless_reset_token_present = 1;
  random_bytes(params.stateless_reset_token, sizeof params.stateless_reset_token);

  const ngtcp2_callbacks cb = c->callbacks();
  const ngtcp2_path np = c->make_path(c->path_);
  if (int rv = ngtcp2_conn_server_new(&c->conn_, &hd.scid, &scid, &np, hd.version, &cb, &settings,
                                      &params, nullptr, c.get());
      rv != 0) {
    return zarn::make_error(std::string("ngtcp2_conn_server_new: ") + ngtcp2_strerror(rv));
  }
  ZARN_TRY(c->init_tls(alpns));
  ngtcp2_conn_set_tls_native_handle(c->conn_, c->tls_);
  ngtcp2_conn_set_keep_alive_timeout(c->conn_, s.keep_alive_ns);
  for (const ngtcp2_cid* cid : {&hd.dcid, &scid}) {
    c->cids_.emplace_back(cid->data, cid->data + cid->datalen);
    host.register_cid(cid_span(*cid), c.get());
  }
  return c;
}

std::string Connection::alpn() const {
  gnutls_datum_t proto{};
  if (!tls_ || gnutls_alpn_get_selected_protocol(tls_, &proto) != 0) return {};
  return std::string(reinterpret_cast<const char*>(proto.data), proto.size);
}

bool Connection::ensure_handler() {
  if (handler_) return true;
  ProtocolHandler* protocol = host_.find_protocol(alpn());
  if (!protocol) return false;
  handler_ = protocol->accept(shared_from_this());
  return handler_ != nullptr;
}

zarn::Result<std::int64_t> Connection::open_uni_stream() {
  if (closed_) return zarn::make_error("connection closed");
  std::int64_t id = -1;
  if (int rv = ngtcp2_conn_open_uni_stream(conn_, &id, nullptr); rv != 0) {
    return zarn::make_error(std::string("open stream: ") + ngtcp2_strerror(rv));
  }
  out_[id];
  return id;
}

zarn::Result<void> Connection::write(std::int64_t stream, std::vector<std::uint8_t> bytes) {
  if (closed_) return zarn::make_error("connection closed");
  auto it = out_.find(stream);
  if (it == out_.end() || it->second.fin) return zarn::make_error("stream not writable");
  OutStream& s = it->second;
  if (bytes.empty()) return zarn::ok();
  const std::uint64_t n = bytes.size();
  // The tail chunk may grow only while ngtcp2 holds no pointer into it, i.e. nothing of it was
  // sent yet.
  if (bytes.size() <= kCoalesceLimit && !s.chunks.empty() &&
      s.end - s.chunks.back().size() >= s.sent && s.chunks.back().size() + n <= kMaxChunk) {
    s.chunks.back().insert(s.chunks.back().end(), bytes.begin(), bytes.end());
  } else {
    s.chunks.push_back(std::move(bytes));
  }
  s.end += n;
  if (mark_flush_requested()) host_.request_flush(this);
  return zarn::ok();
}

zarn::Result<void> Connection::finish(std::int64_t stream) {
  if (closed_) return zarn::make_error("connection closed");
  auto it = out_.find(stream);
  if (it == out_.end()) return zarn::make_error("stream not writable");
  it->second.fin = true;
  if (mark_flush_requested()) host_.request_flush(this);
  return zarn::ok();
}

std::uint64_t Connection::unacked_bytes(std::int64_t stream) const {
  auto it = out_.find(stream);
  return it == out_.end() ? 0 : it->second.end - it->second.acked;
}

void Connection::close(std::string reason) {
  if (closed_) return;
  ngtcp2_connection_close_error err;
  ngtcp2_connection_close_error_default(&err);
  ngtcp2_connection_close_error_set_application_error(&err, kAppErrorShutdown, nullptr, 0);
  close_with(err, std::move(reason));
}

void Connection::on_datagram(const Path& path, std::span<const std::uint8_t> data,
                             std::uint64_t now) {
  if (closed_) return;
  auto self = shared_from_this();
  const ngtcp2_path np = make_path(path);
  ngtcp2_pkt_info pi{};
  const int rv = ngtcp2_conn_read_pkt(conn_, &np, &pi, data.data(), data.size(), now);
  if (rv != 0) {
    fail_with_liberr(rv);
    return;
  }
  run_deferred();
}

void Connection::on_expiry(std::uint64_t now) {
  if (closed_) return;
  auto self = shared_from_this();
  const int rv = ngtcp2_conn_handle_expiry(conn_, now);
  if (rv != 0) {
    fail_with_liberr(rv);
    return;
  }
  flush(now);
}

std::uint64_t Connection::expiry() const {
  return closed_ ? UINT64_MAX : ngtcp2_conn_get_expiry(conn_);
}

void Connection::run_deferred() {
  if (std::exchange(handshake_event_, false)) {
    if (role_ == Role::Server && !ensure_handler()) {
      close("no handler for the negotiated protocol");
      return;
    }
    if (on_handshake_) std::exchange(on_handshake_, nullptr)();
  }
  if (!closed_ && std::exchange(writable_event_, false) && on_writable_) {
    auto cb = on_writable_;
    cb();
  }
}

void Connection::fail_with_liberr(int rv) {
  ngtcp2_connection_close_error err;
  ngtcp2_connection_close_error_default(&err);
  switch (rv) {
    case NGTCP2_ERR_DRAINING:
      mark_closed("closed by peer");
      return;
    case NGTCP2_ERR_DROP_CONN:
    case NGTCP2_ERR_IDLE_CLOSE:
    case NGTCP2_ERR_HANDSHAKE_TIMEOUT:
      mark_closed(rv == NGTCP2_ERR_DROP_CONN ? "connection dropped" : ngtcp2_strerror(rv));
      return;
    case NGTCP2_ERR_CRYPTO:
      ngtcp2_connection_close_error_set_transport_error_tls_alert(
          &err, ngtcp2_conn_get_tls_alert(conn_), nullptr, 0);
      break;
    case NGTCP2_ERR_CALLBACK_FAILURE:
      ngtcp2_connection_close_error_set_application_error(&err, kAppErrorProtocol, nullptr, 0);
      break;
    default:
      ngtcp2_connection_close_error_set_transport_error_liberr(&err, rv, nullptr, 0);
  }
  std::string reason =
      callback_error_ ? *std::exchange(callback_error_, std::nullopt) : ngtcp2_strerror(rv);
  close_with(err, std::move(reason));
}

void Connection::send_close_packet(const ngtcp2_connection_close_error& err) {
  if (ngtcp2_conn_is_in_closing_period(conn_) || ngtcp2_conn_is_in_draining_period(conn_)) return;
  std::array<std::uint8_t, 1500> buf;
  ngtcp2_path_storage ps;
  ngtcp2_path_storage_zero(&ps);
  ngtcp2_pkt_info pi{};
  const ngtcp2_ssize n = ngtcp2_conn_write_connection_close(conn_, &ps.path, &pi, buf.data(),
                                                            buf.size(), &err, monotonic_now_ns());
  if (n > 0) host_.send_datagram(ps.path.remote, {buf.data(), static_cast<std::size_t>(n)});
}

void Connection::close_with(const ngtcp2_connection_close_error& err, std::string reason) {
  if (closed_) return;
  send_close_packet(err);
  mark_closed(std::move(reason));
}

void Connection::mark_closed(std::string reason) {
  if (closed_) return;
  auto self = shared_from_this();
  closed_ = true;
  close_reason_ = std::move(reason);
  // After this the endpoint routes nothing here, so the host may go away before this object.
  for (const auto& cid : cids_) host_.unregister_cid(cid);
  cids_.clear();
  host_.request_flush(this);  // lets the endpoint forget this connection
  handler_.reset();
  on_writable_ = nullptr;
  on_handshake_ = nullptr;
  if (auto cb = std::exchange(on_closed_, nullptr)) cb(close_reason_);
}

Connection::OutStream* Connection::pending_stream(std::int64_t& id) {
  for (auto& [sid, s] : out_) {
    if (s.blocked) continue;
    if (s.sent < s.end || (s.fin && !s.fin_sent)) {
      id = sid;
      return &s;
    }
  }
  return nullptr;
}

std::size_t Connection::gather(OutStream& s, ngtcp2_vec* vec, std::size_t max) const {
  std::size_t n = 0;
  std::uint64_t offset = s.cursor_offset;
  for (std::size_t i = s.cursor; i < s.chunks.size() && n < max; ++i) {
    const auto& chunk = s.chunks[i];
    const std::uint64_t skip = s.sent > offset ? s.sent - offset : 0;
    if (skip < chunk.size()) {
      vec[n].base = const_cast<std::uint8_t*>(chunk.data()) + skip;
      vec[n].len = chunk.size() - skip;
      ++n;
    }
    offset += chunk.size();
  }
  return n;
}

void Connection::advance(OutStream& s, std::uint64_t n) {
  s.sent += n;
  while (s.cursor < s.chunks.size() && s.cursor_offset + s.chunks[s.cursor].size() <= s.sent) {
    s.cursor_offset += s.chunks[s.cursor].size();
    ++s.cursor;
  }
}

void Connection::flush(std::uint64_t now) {
  if (closed_) return;
  auto self = shared_from_this();
  for (auto& [id, s] : out_) s.blocked = false;
  const std::size_t max_payload = ngtcp2_conn_get_max_tx_udp_payload_size(conn_);
  const std::size_t max_pkts =
      std::max<std::size_t>(1, ngtcp2_conn_get_send_quantum(conn_) / max_payload);
  std::array<std::uint8_t, 65536> buf;
  ngtcp2_path_storage ps;
  ngtcp2_path_storage_zero(&ps);
  std::size_t pkts = 0;
  for (;;) {
    std::int64_t stream_id = -1;
    OutStream* s = ngtcp2_conn_get_max_data_left(conn_) ? pending_stream(stream_id) : nullptr;
    std::array<ngtcp2_vec, kMaxIov> vec;
    std::size_t nvec = 0;
    std::uint32_t flags = NGTCP2_WRITE_STREAM_FLAG_MORE;
    if (s) {
      nvec = gather(*s, vec.data(), vec.size());
      std::uint64_t total = 0;
      for (std::size_t i = 0; i < nvec; ++i) total += vec[i].len;
      if (s->fin && s->sent + total == s->end) flags |= NGTCP2_WRITE_STREAM_FLAG_FIN;
    }
    ngtcp2_ssize datalen = -1;
    ngtcp2_pkt_info pi{};
    const ngtcp2_ssize nwrite =
        ngtcp2_conn_writev_stream(conn_, &ps.path, &pi, buf.data(), max_payload, &datalen, flags,
                                  stream_id, vec.data(), nvec, now);
    if (nwrite < 0) {
      switch (nwrite) {
        case NGTCP2_ERR_WRITE_MORE:
          if (!s) continue;
          advance(*s, static_cast<std::uint64_t>(datalen));
          if ((flags & NGTCP2_WRITE_STREAM_FLAG_FIN) && s->sent == s->end) s->fin_sent = true;
          continue;
        case NGTCP2_ERR_STREAM_DATA_BLOCKED:
          if (s) s->blocked = true;
          continue;
        case NGTCP2_ERR_STREAM_SHUT_WR:
          if (!s) continue;
          // The peer stopped this stream; nothing queued on it can be delivered any more.
          s->chunks.clear();
          s->acked = s->sent = s->end;
          s->cursor = 0;
          s->fin = s->fin_sent = true;
          continue;
        default:
          fail_with_liberr(static_cast<int>(nwrite));
          return;
      }
    }
    if (s && datalen >= 0) {
      advance(*s, static_cast<std::uint64_t>(datalen));
      if ((flags & NGTCP2_WRITE_STREAM_FLAG_FIN) && s->sent == s->end) s->fin_sent = true;
    }
    if (nwrite == 0) {
      ngtcp2_conn_update_pkt_tx_time(conn_, now);
      return;
    }
    host_.send_datagram(ps.path.remote, {buf.data(), static_cast<std::size_t>(nwrite)});
    if (++pkts >= max_pkts) {
      ngtcp2_conn_update_pkt_tx_time(conn_, now);
      // Give other connections and the receive path a turn before sending more.
      if (mark_flush_requested()) host_.request_flush(this);
      return;
    }
  }
}

void Connection::on_acked(std::int64_t stream, std::uint64_t upto) {
  auto it = out_.find(stream);
  if (it == out_.end()) return;
  OutStream& s = it->second;
  if (upto <= s.acked) return;
  s.acked = std::min(upto, s.end);
  while (!s.chunks.empty() && s.front_offset + s.chunks.front().size() <= s.acked && s.cursor > 0) {
    s.front_offset += s.chunks.front().size();
    s.chunks.pop_front();
    --s.cursor;
  }
  writable_event_ = true;
}

int Connection::on_recv_stream_data(ngtcp2_conn* conn, std::uint32_t flags, std::int64_t stream,
                                    std::uint64_t, const std::uint8_t* data, std::size_t len,
                                    void* user, void*) {
  auto* self = static_cast<Connection*>(user);
  ngtcp2_conn_extend_max_stream_offset(conn, stream, len);
  ngtcp2_conn_extend_max_offset(conn, len);
  if (self->role_ != Role::Server) return 0;
  if (!self->ensure_handler()) {
    self->callback_error_ = "no handler for the negotiated protocol";
    return NGTCP2_ERR_CALLBACK_FAILURE;
  }
  auto r = self->handler_->on_stream_data(stream, {data, len},
                                          (flags & NGTCP2_STREAM_DATA_FLAG_FIN) != 0);
  if (!r) {
    self->callback_error_ = r.error();
    return NGTCP2_ERR_CALLBACK_FAILURE;
  }
  return 0;
}

int Connection::on_acked_stream_data(ngtcp2_conn*, std::int64_t stream, std::uint64_t offset,
                                     std::uint64_t len, void* user, void*) {
  static_cast<Connection*>(user)->on_acked(stream, offset + len);
  return 0;
}

int Connection::on_stream_close(ngtcp2_conn*, std::uint32_t, std::int64_t stream, std::uint64_t,
                                void* user, void*) {
  auto* self = static_cast<Connection*>(user);
  auto it = self->out_.find(stream);
  if (it != self->out_.end()) {
    // Keep the entry so later writes fail instead of silently vanishing.
    it->second.chunks.clear();
    it->second.cursor = 0;
    it->second.acked = it->second.sent = it->second.end;
    it->second.fin = it->second.fin_sent = true;
    self->writable_event_ = true;
  }
  return 0;
}

int Connection::on_handshake_completed(ngtcp2_conn*, void* user) {
  auto* self = static_cast<Connection*>(user);
  self->handshake_done_ = true;
  self->handshake_event_ = true;
  return 0;
}

int Connection::on_extend_max_stream_data(ngtcp2_conn*, std::int64_t stream, std::uint64_t,
                                          void* user, void*) {
  auto* self = static_cast<Connection*>(user);
  auto it = self->out_.find(stream);
  if (it != self->out_.end()) it->second.blocked = false;
  return 0;
}

int Connection::on_new_cid(ngtcp2_conn*, ngtcp2_cid* cid, std::uint8_t* token, std::size_t len,
                           void* user) {
  auto* self = static_cast<Connection*>(user);
  cid->datalen = len;
  random_bytes(cid->data, len);
  random_bytes(token, NGTCP2_STATELESS_RESET_TOKENLEN);
  self->cids_.emplace_back(cid->data, cid->data + len);
  self->host_.register_cid(cid_span(*cid), self);
  return 0;
}

int Connection::on_remove_cid(ngtcp2_conn*, const ngtcp2_cid* cid, void* user) {
  auto* self = static_cast<Connection*>(user);
  std::vector<std::uint8_t> key(cid->data, cid->data + cid->datalen);
  std::erase(self->cids_, key);
  self->host_.unregister_cid(cid_span(*cid));
  return 0;
}

}  // namespace p2p
