// The sample runtime's WebSocket server on 127.0.0.1.
//
// Accepts any number of connections, served at once on the caller's
// io_context (one thread is enough). Each connection completes the server
// handshake, then answers each message it reads (answers.h) in order, each
// answer sent at once (TCP_NODELAY) in writes that offer all of it. A
// connection ends quietly when the peer closes it, with or without a Close
// frame, or when the handshake takes longer than 30 s.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "base/result.h"

namespace orvix::sample_runtime {

class WsServer {
 public:
  // Binds 127.0.0.1:`port` (0 = a free ephemeral port) and starts accepting.
  // Fails with a text for people when the port cannot be bound.
  [[nodiscard]] static Result<std::unique_ptr<WsServer>> listen(boost::asio::io_context& io, std::uint16_t port,
                                                                std::string version);

  std::uint16_t port() const { return port_; }

  // Stops accepting; connections already open run on until the io_context stops.
  void close();

 private:
  WsServer(boost::asio::ip::tcp::acceptor acceptor, std::uint16_t port, std::string version);
  void accept_next();

  boost::asio::ip::tcp::acceptor acceptor_;
  std::uint16_t port_;
  std::string version_;
};

}  // namespace orvix::sample_runtime
