#include "ws_server.h"

#include <vector>

#include <boost/asio/ip/address_v4.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "answers.h"

namespace orvix::sample_runtime {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
using tcp = asio::ip::tcp;

namespace {

// One client connection: handshake, then read a message, send its answers,
// read the next. Reads and writes never overlap, so no queue is needed. The
// session keeps itself alive through the handlers it has pending.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, std::string version) : stream_(std::move(socket)), version_(std::move(version)) {}

  void start() {
    // Each answer leaves at once: with Nagle's algorithm, the last part of a
    // large answer would wait for the host to acknowledge the part before it.
    beast::error_code ignored;
    stream_.next_layer().socket().set_option(tcp::no_delay(true), ignored);
    // Each answer as one frame, header and payload in one write; the library
    // would otherwise cut it into frames of its 4 KiB write buffer.
    stream_.auto_fragment(false);
    // Handshake deadline; no idle limit, since a client may wait between requests.
    stream_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    stream_.async_accept([self = shared_from_this()](beast::error_code error) {
      if (!error) self->read_next();
    });
  }

 private:
  void read_next() {
    buffer_.clear();
    stream_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      // Any error ends the session: a Close frame, a dropped TCP connection, a protocol fault.
      if (error) return;
      self->outgoing_ =
          answer_message(beast::buffers_to_string(self->buffer_.data()), self->stream_.got_text(), self->version_);
      self->send(0);
    });
  }

  void send(std::size_t index) {
    if (index == outgoing_.size()) {
      read_next();
      return;
    }
    stream_.text(outgoing_[index].text);
    stream_.async_write(asio::buffer(outgoing_[index].bytes),
                        [self = shared_from_this(), index](beast::error_code error, std::size_t) {
                          if (!error) self->send(index + 1);
                        });
  }

  websocket::stream<beast::tcp_stream> stream_;
  const std::string version_;
  beast::flat_buffer buffer_;
  std::vector<OutgoingMessage> outgoing_;
};

}  // namespace

WsServer::WsServer(tcp::acceptor acceptor, std::uint16_t port, std::string version)
    : acceptor_(std::move(acceptor)), port_(port), version_(std::move(version)) {}

Result<std::unique_ptr<WsServer>> WsServer::listen(asio::io_context& io, std::uint16_t port, std::string version) {
  const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
  tcp::acceptor acceptor(io);
  beast::error_code error;
  auto failed = [&](const char* step) {
    return Failure(Failure::Kind::kSystem,
                   std::string("cannot ") + step + " 127.0.0.1:" + std::to_string(port) + ": " + error.message());
  };
  if (acceptor.open(endpoint.protocol(), error); error) return failed("open a socket for");
  // A fixed port can be reused at once after a previous run.
  if (acceptor.set_option(asio::socket_base::reuse_address(true), error); error) return failed("configure");
  if (acceptor.bind(endpoint, error); error) return failed("bind");
  if (acceptor.listen(asio::socket_base::max_listen_connections, error); error) return failed("listen on");
  const tcp::endpoint bound = acceptor.local_endpoint(error);
  if (error) return failed("read the port of");

  std::unique_ptr<WsServer> server(new WsServer(std::move(acceptor), bound.port(), std::move(version)));
  server->accept_next();
  return server;
}

void WsServer::close() {
  beast::error_code ignored;
  acceptor_.close(ignored);
}

void WsServer::accept_next() {
  acceptor_.async_accept([this](beast::error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted) return;  // close()
    if (!error) std::make_shared<Session>(std::move(socket), version_)->start();
    // A failed accept (a client that vanished, a descriptor limit) loses one
    // connection, not the server.
    if (acceptor_.is_open()) accept_next();
  });
}

}  // namespace orvix::sample_runtime
