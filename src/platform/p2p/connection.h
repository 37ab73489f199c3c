// Connection: one QUIC connection (ngtcp2 + GnuTLS), dialled or accepted by an Endpoint. It
// knows no sockets or timers: the endpoint feeds it datagrams and expiry ticks and it answers
// through ConnectionHost. Errors from ngtcp2 callbacks are kept as values and turned into a
// connection close once the library call returns. Every method runs on the endpoint's strand;
// handlers keep it by shared_ptr, and after close every operation fails or does nothing.
#pragma once

#include <gnutls/gnutls.h>
#include <netinet/in.h>
#include <ngtcp2/ngtcp2.h>
#include <ngtcp2/ngtcp2_crypto.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/result.h"
#include "platform/p2p/keys.h"

namespace p2p {

class Connection;
class TlsIdentity;

// Reads the unidirectional streams a peer opens on one accepted connection.
class StreamHandler {
 public:
  virtual ~StreamHandler() = default;
  // Bytes of `stream` in order; `fin` marks its end. An error closes the connection.
  virtual zarn::Result<void> on_stream_data(std::int64_t stream, std::span<const std::uint8_t> data,
                                            bool fin) = 0;
};

// Accept router entry: builds the stream handler of each connection that chose its ALPN.
class ProtocolHandler {
 public:
  virtual ~ProtocolHandler() = default;
  virtual std::unique_ptr<StreamHandler> accept(const std::shared_ptr<Connection>& conn) = 0;
};

class ConnectionHost {
 public:
  virtual ~ConnectionHost() = default;
  virtual void send_datagram(const ngtcp2_addr& remote, std::span<const std::uint8_t> data) = 0;
  virtual void register_cid(std::span<const std::uint8_t> cid, Connection* conn) = 0;
  virtual void unregister_cid(std::span<const std::uint8_t> cid) = 0;
  // Asks for flush() soon on the strand; repeated requests before it runs coalesce.
  virtual void request_flush(Connection* conn) = 0;
  virtual ProtocolHandler* find_protocol(std::string_view alpn) = 0;
};

struct ConnectionSettings {
  std::uint64_t handshake_timeout_ns = 5'000'000'000;
  std::uint64_t idle_timeout_ns = 30'000'000'000;
  std::uint64_t keep_alive_ns = 5'000'000'000;
  std::uint64_t max_incoming_uni_streams = 1;
};

inline constexpr std::size_t kCidLen = 18;

std::uint64_t monotonic_now_ns();

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  struct Path {
    sockaddr_storage local{};
    socklen_t local_len = 0;
    sockaddr_storage remote{};
    socklen_t remote_len = 0;
  };

  // Dials `path.remote`; the handshake fails unless the server's certificate carries `expected`.
  static zarn::Result<std::shared_ptr<Connection>> dial(ConnectionHost& host,
                                                        const TlsIdentity& identity,
                                                        const Path& path, const PublicKey& expected,
                                                        std::string alpn,
                                                        const ConnectionSettings& settings,
                                                        std::uint64_t now);
  // Answers a client Initial packet already checked with ngtcp2_accept.
  static zarn::Result<std::shared_ptr<Connection>> accept(
      ConnectionHost& host, const TlsIdentity& identity, const Path& path, const ngtcp2_pkt_hd& hd,
      const std::vector<std::string>& alpns, const ConnectionSettings& settings, std::uint64_t now);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // --- for stream handlers and dialers ---
  bool is_closed() const { return closed_; }
  bool handshake_done() const { return handshake_done_; }
  const std::string& close_reason() const { return close_reason_; }
  // The verified key of a dialled server; unset on accepted connections.
  const std::optional<PublicKey>& remote_key() const { return expected_key_; }
  std::string alpn() const;

  zarn::Result<std::int64_t> open_uni_stream();
  // Queues bytes on a local stream; they are kept until the peer acknowledges them.
  zarn::Result<void> write(std::int64_t stream, std::vector<std::uint8_t> bytes);
  zarn::Result<void> finish(std::int64_t stream);
  // Bytes written to `stream` and not yet acknowledged.
  std::uint64_t unacked_bytes(std::int64_t stream) const;
  // Runs after acknowledgements free buffered bytes.
  void set_writable_callback(std::function<void()> cb) { on_writable_ = std::move(cb); }
  // Runs once when the connection ends, with the reason.
  void set_closed_callback(std::function<void(const std::string&)> cb) {
    on_closed_ = std::move(cb);
  }
  void set_handshake_callback(std::function<void()> cb) { on_handshake_ = std::move(cb); }
  void close(std::string reason);

  // --- for the endpoint ---
  void on_datagram(const Path& path, std::span<const std::uint8_t> data, std::uint64_t now);
  void on_expiry(std::uint64_t now);
  void flush(std::uint64_t now);
  std::uint64_t expiry() const;
  bool take_flush_request() { return std::exchange(flush_requested_, false); }
  bool mark_flush_requested() { return !std::exchange(flush_requested_, true); }

 private:
  struct OutStream {
    std::deque<std::vector<std::uint8_t>> chunks;
    std::uint64_t front_offset = 0;   // stream offset of chunks.front()
    std::size_t cursor = 0;           // index of the chunk holding the first unsent byte
    std::uint64_t cursor_offset = 0;  // stream offset of chunks[cursor]
    std::uint64_t sent = 0;
    std::uint64_t end = 0;
    std::uint64_t acked = 0;
    bool fin = false;
    bool fin_sent = false;
    bool blocked = false;
  };

  enum class Role { Client, Server };

  Connection(ConnectionHost& host, const TlsIdentity& identity, Role role);
  zarn::Result<void> init_tls(const std::vector<std::string>& alpns);
  ngtcp2_path make_path(const Path& p) const;
  ngtcp2_callbacks callbacks() const;

  bool ensure_handler();
  void run_deferred();
  void fail_with_liberr(int rv);
  void close_with(const ngtcp2_connection_close_error& err, std::string reason);
  void mark_closed(std::string reason);
  void send_close_packet(const ngtcp2_connection_close_error& err);
  std::size_t gather(OutStream& s, ngtcp2_vec* vec, std::size_t max) const;
  void advance(OutStream& s, std::uint64_t n);
  void on_acked(std::int64_t stream, std::uint64_t upto);
  OutStream* pending_stream(std::int64_t& id);

  static ngtcp2_conn* get_conn(ngtcp2_crypto_conn_ref* ref);
  static int verify_peer(gnutls_session_t session);
  static int on_recv_stream_data(ngtcp2_conn*, std::uint32_t flags, std::int64_t stream,
                                 std::uint64_t offset, const std::uint8_t* data, std::size_t len,
                                 void* user, void* stream_user);
  static int on_acked_stream_data(ngtcp2_conn*, std::int64_t stream, std::uint64_t offset,
                                  std::uint64_t len, void* user, void* stream_user);
  static int on_stream_close(ngtcp2_conn*, std::uint32_t flags, std::int64_t stream,
                             std::uint64_t app_error, void* user, void* stream_user);
  static int on_handshake_completed(ngtcp2_conn*, void* user);
  static int on_extend_max_stream_data(ngtcp2_conn*, std::int64_t stream, std::uint64_t max,
                                       void* user, void* stream_user);
  static int on_new_cid(ngtcp2_conn*, ngtcp2_cid* cid, std::uint8_t* token, std::size_t len,
                        void* user);
  static int on_remove_cid(ngtcp2_conn*, const ngtcp2_cid* cid, void* user);

  ConnectionHost& host_;
  const TlsIdentity& identity_;
  const Role role_;
  Path path_;
  ngtcp2_crypto_conn_ref conn_ref_{};
  ngtcp2_conn* conn_ = nullptr;
  gnutls_session_t tls_ = nullptr;
  std::optional<PublicKey> expected_key_;
  std::vector<std::vector<std::uint8_t>> cids_;
  std::map<std::int64_t, OutStream> out_;
  std::unique_ptr<StreamHandler> handler_;
  std::function<void()> on_writable_;
  std::function<void(const std::string&)> on_closed_;
  std::function<void()> on_handshake_;
  std::optional<std::string> callback_error_;  // set inside a callback, acted on after it
  std::string close_reason_;
  bool handshake_done_ = false;
  bool handshake_event_ = false;
  bool writable_event_ = false;
  bool flush_requested_ = false;
  bool closed_ = false;
};

}  // namespace p2p
