#include "bridge/websocket_exchange.h"

#include <string>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "bridge/handshake_target.h"
#include "bridge/socket_stream.h"
#include "json/lookup.h"
#include "json/parse.h"
#include "json/serialize.h"

namespace orvix::bridge {

namespace websocket = boost::beast::websocket;

bool answers_request(const json::Value& message, std::string_view request_id) {
  const json::Value* id = json::find_member(&message, "requestId");
  if (id == nullptr || !id->is_string()) return false;
  const json::String& text = id->get_string();
  return std::string_view(text.data(), text.size()) == request_id;
}

boost::system::result<json::Value, RuntimeError> exchange_over_websocket(platform::TcpSocket socket,
                                                                        std::string_view ws_url,
                                                                        const json::Value& request,
                                                                        std::string_view expected_request_id,
                                                                        std::chrono::milliseconds io_timeout) {
  // Nothing runs on this context; the WebSocket stream merely asks its lower
  // layer for an executor. One for the process: making a context costs an
  // epoll, an eventfd and a timerfd per exchange.
  static boost::asio::io_context context;
  // Without permessage-deflate: the handshake offers no extension.
  websocket::stream<SocketStream, false> ws(context.get_executor(), std::move(socket), io_timeout);

  auto target = handshake_target_from_url(ws_url);
  if (!target) return target.error();

  boost::system::error_code ec;
  ws.handshake(target->host_header, target->target, ec);
  if (ec) return RuntimeError{RuntimeErrorCode::ws_handshake_failed, ec.message()};
  ws.next_layer().enforce_frame_limit();
  ws.read_message_max(kMaxMessageBytes);

  // One frame for the whole message; the library would otherwise split it
  // at its write buffer size.
  ws.auto_fragment(false);
  ws.text(true);
  const std::string body = json::to_compact_string(request);
  ws.write(boost::asio::buffer(body), ec);
  if (ec) return RuntimeError{RuntimeErrorCode::request_send_failed, ec.message()};

  // From here the library writes only control frames: pongs, which are sent,
  // and Close frames, which are not (the runtime's own Close included).
  ws.next_layer().drop_close_frames();

  boost::beast::flat_buffer buffer;
  for (;;) {
    buffer.clear();
    ws.read(buffer, ec);
    if (ec) return RuntimeError{RuntimeErrorCode::response_read_failed, ec.message()};
    // Pings, pongs and Close frames never reach here; the library handles them.
    if (!ws.got_text()) continue;

    const auto data = buffer.cdata();
    auto message = json::parse_json(std::string_view(static_cast<const char*>(data.data()), data.size()));
    if (!message) return RuntimeError{RuntimeErrorCode::response_invalid, message.error().text};
    if (answers_request(*message, expected_request_id)) return std::move(*message);
  }
}

}  // namespace orvix::bridge
