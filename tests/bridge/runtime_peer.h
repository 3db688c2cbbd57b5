// A runtime stand-in for exchange tests: one real WebSocket (or bare TCP)
// server on a loopback address and an ephemeral port, serving exactly one
// connection on its own thread with a script the test gives it.
//
// Every wait is bounded: accepting gives up after kAcceptWait, and each
// script's reads end when the client under test closes its socket, which it
// always does when its exchange ends.
//
// The peer sends nothing the script does not send: its stream keeps Beast's
// default options (no keep-alive pings), so a script that stops writing is
// silence, and the client's limit on each read is what ends the wait.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "json/lookup.h"
#include "json/parse.h"

namespace orvix::bridge::testing {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

// The server side of one accepted connection, as a script sees it.
class PeerSession {
 public:
  explicit PeerSession(tcp::socket socket) : ws_(std::move(socket)) {}

  tcp::socket& socket() { return ws_.next_layer(); }
  websocket::stream<tcp::socket>& ws() { return ws_; }

  // The client's next message as text; nothing when the read fails.
  std::optional<std::string> read_message() {
    beast::flat_buffer buffer;
    beast::error_code ec;
    ws_.read(buffer, ec);
    if (ec) return std::nullopt;
    return beast::buffers_to_string(buffer.data());
  }

  void send_text(std::string_view text) { send(text, true); }
  void send_binary(std::string_view bytes) { send(bytes, false); }

  // Bytes written to the TCP connection as they are, bypassing framing;
  // false once the client has gone.
  bool send_raw(std::string_view bytes) {
    beast::error_code ec;
    net::write(socket(), net::buffer(bytes), ec);
    return !ec;
  }

  // A ping with an empty body; false once the client has gone.
  bool ping() {
    beast::error_code ec;
    ws_.ping({}, ec);
    return !ec;
  }

  // Waits (bounded by the client closing its side) until the peer is gone.
  void drain_until_closed() { raw_bytes_until_closed(); }

  // The bytes the client sends, unframed, until it closes its side.
  std::string raw_bytes_until_closed() {
    std::string received;
    char chunk[4096];
    beast::error_code ec;
    for (int reads = 0; reads < 100000 && !ec; ++reads) {
      const std::size_t size = socket().read_some(net::buffer(chunk), ec);
      if (received.size() < 65536) received.append(chunk, size);
    }
    return received;
  }

 private:
  void send(std::string_view data, bool text) {
    beast::error_code ec;
    ws_.text(text);
    ws_.write(net::buffer(data), ec);
  }

  websocket::stream<tcp::socket> ws_;
};

class RuntimePeer {
 public:
  enum class Kind { websocket, bare_tcp };
  using Script = std::function<void(PeerSession&)>;
  static constexpr std::chrono::seconds kAcceptWait{15};

  explicit RuntimePeer(Script script, Kind kind = Kind::websocket, const char* address = "127.0.0.1")
      : acceptor_(context_, tcp::endpoint(net::ip::make_address(address), 0)) {
    acceptor_.non_blocking(true);
    thread_ = std::thread([this, script = std::move(script), kind] { serve(script, kind); });
  }

  ~RuntimePeer() { finish(); }

  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

  std::string url(std::string_view path = "/") const {
    const auto address = acceptor_.local_endpoint().address();
    const std::string host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    return "ws://" + host + ":" + std::to_string(port()) + std::string(path);
  }

  // Waits for the server thread; call before reading what the peer saw.
  void finish() {
    if (thread_.joinable()) thread_.join();
  }

  bool handshake_arrived() const { return handshake_arrived_; }
  const std::string& target() const { return target_; }
  const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }

 private:
  void serve(const Script& script, Kind kind) {
    tcp::socket socket(context_);
    beast::error_code ec;
    const auto deadline = std::chrono::steady_clock::now() + kAcceptWait;
    do {
      acceptor_.accept(socket, ec);
      if (ec == net::error::would_block) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (ec == net::error::would_block && std::chrono::steady_clock::now() < deadline);
    if (ec) return;
    socket.non_blocking(false);

    PeerSession session(std::move(socket));
    if (kind == Kind::bare_tcp) {
      script(session);
      return;
    }
    beast::flat_buffer buffer;
    http::request<http::string_body> request;
    http::read(session.socket(), buffer, request, ec);
    if (ec) return;
    handshake_arrived_ = true;
    target_ = std::string(request.target());
    for (const auto& field : request) fields_.emplace_back(field.name_string(), field.value());
    session.ws().accept(request, ec);
    if (!ec) script(session);
  }

  net::io_context context_;
  tcp::acceptor acceptor_;
  std::thread thread_;
  bool handshake_arrived_ = false;
  std::string target_;
  std::vector<std::pair<std::string, std::string>> fields_;
};

// The "requestId" string of a message text, or "" when it has none.
inline std::string request_id_of(const std::string& text) {
  auto parsed = json::parse_json(text);
  if (!parsed) return {};
  return std::string(json::string_at(*parsed, {"requestId"}).value_or(""));
}

// Reads the request and answers it with `{"requestId":<its id>,"type":"answer"}`.
inline void answer_request(PeerSession& session) {
  const auto request = session.read_message();
  if (!request) return;
  session.send_text(R"({"type":"answer","requestId":")" + request_id_of(*request) + "\"}");
  session.drain_until_closed();
}

}  // namespace orvix::bridge::testing
