// The yardstick for the bridge benchmarks: the shortest client that does one
// runtime exchange the way the host does, written directly on Boost.Beast.
//
// round_trip() resolves the host, opens a new TCP connection, performs the
// WebSocket handshake, sends `request_text` as one text message, reads until
// a text message whose "requestId" is `request_id` arrives, and closes the
// socket without a Close frame. Messages are built and parsed with the host's
// own JSON layer, so a ratio against the bridge measures the exchange itself
// rather than two JSON libraries.
//
// Failures come back as a text for people. Blocks without a deadline: the
// benchmark script bounds the whole run instead. Not thread-safe.
#pragma once

#include <string>
#include <string_view>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "base/result.h"
#include "json/lookup.h"
#include "json/parse.h"

namespace orvix::bench {

class BeastReferenceLoop {
 public:
  BeastReferenceLoop(std::string host, std::string port) : host_(std::move(host)), port_(std::move(port)) {}

  [[nodiscard]] orvix::Result<void, std::string> round_trip(const std::string& request_text,
                                                            std::string_view request_id) {
    namespace beast = boost::beast;
    namespace websocket = beast::websocket;
    using boost::asio::ip::tcp;

    boost::system::error_code ec;
    const auto endpoints = resolver_.resolve(host_, port_, ec);
    if (ec) return "resolve: " + ec.message();
    websocket::stream<tcp::socket> ws(io_);
    boost::asio::connect(ws.next_layer(), endpoints, ec);
    if (ec) return "connect: " + ec.message();
    ws.handshake(host_ + ":" + port_, "/", ec);
    if (ec) return "handshake: " + ec.message();
    ws.text(true);
    ws.write(boost::asio::buffer(request_text), ec);
    if (ec) return "write: " + ec.message();

    beast::flat_buffer buffer;
    // The sample runtime answers at once; a handful of unrelated messages
    // is all it ever sends first.
    for (int message = 0; message < 16; ++message) {
      buffer.clear();
      ws.read(buffer, ec);
      if (ec) return "read: " + ec.message();
      if (!ws.got_text()) continue;
      const auto data = buffer.cdata();
      auto answer = json::parse_json(std::string_view(static_cast<const char*>(data.data()), data.size()));
      if (!answer) return "answer: " + answer.error().text;
      if (json::string_at(*answer, {"requestId"}) == request_id) {
        ws.next_layer().close(ec);  // no Close frame, as the host does
        return {};
      }
    }
    return std::string("no answer with the request's requestId");
  }

 private:
  std::string host_;
  std::string port_;
  boost::asio::io_context io_;
  boost::asio::ip::tcp::resolver resolver_{io_};
};

}  // namespace orvix::bench
