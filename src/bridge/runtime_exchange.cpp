#include "bridge/runtime_exchange.h"

#include <algorithm>
#include <new>

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket/error.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "base/utf8.h"
#include "bridge/exchange_context.h"
#include "bridge/handshake_target.h"
#include "bridge/socket_stream.h"
#include "json/lookup.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "platform/clock.h"
#include "platform/os_error.h"
#include "platform/process.h"
#include "platform/tcp_socket.h"
#include "url/url.h"

namespace orvix::bridge {

namespace {

// Without permessage-deflate: the handshake offers no extension.
using WebSocket = boost::beast::websocket::stream<SocketStream, false>;

constexpr std::size_t kMaxMessageBytes = 64u * 1024u * 1024u;
// The library's default.
constexpr std::size_t kSmallestWriteBuffer = 4096;

}  // namespace

// Step 1.
Result<RuntimeEndpoint, RuntimeError> check_runtime_url(std::string_view ws_url) {
  auto parsed = url::parse_url(ws_url);
  if (!parsed) return RuntimeError{RuntimeErrorCode::ws_url_invalid, parsed.error().text};
  if (parsed->scheme != "ws") return RuntimeError{RuntimeErrorCode::ws_url_unsupported, parsed->scheme};
  if (!parsed->host || parsed->host->empty()) return RuntimeError{RuntimeErrorCode::ws_url_missing_host, {}};
  if (!parsed->port) return RuntimeError{RuntimeErrorCode::ws_url_missing_port, {}};

  std::string host = *parsed->host;
  // The serialised form of an IPv6 host keeps its brackets, which no resolver
  // accepts; the address inside them is what the connection needs.
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  return RuntimeEndpoint{std::move(host), *parsed->port};
}

namespace {

// Step 2.
Result<platform::SocketAddress, RuntimeError> resolve(const RuntimeEndpoint& endpoint) {
  auto address = platform::resolve_first_address(endpoint.host, endpoint.port);
  if (!address) return RuntimeError{RuntimeErrorCode::host_resolve_failed, address.error().text};
  if (!*address) return RuntimeError{RuntimeErrorCode::host_resolve_failed, std::string(kHostDidNotResolve)};
  return **address;
}

// Steps 3 and 4.
Result<platform::TcpSocket, RuntimeError> connect(const platform::SocketAddress& address,
                                                  const ExchangeTimeouts& timeouts) {
  auto socket = platform::TcpSocket::connect(address, timeouts.connect);
  if (!socket) return RuntimeError{RuntimeErrorCode::connect_failed, socket.error().os.text};
  if (auto set = socket->set_receive_timeout(timeouts.socket_io); !set) {
    return RuntimeError{RuntimeErrorCode::connect_failed, set.error().text};
  }
  if (auto set = socket->set_send_timeout(timeouts.socket_io); !set) {
    return RuntimeError{RuntimeErrorCode::connect_failed, set.error().text};
  }
  return std::move(*socket);
}

// Step 5.
Result<void, RuntimeError> handshake(WebSocket& ws, std::string_view ws_url) {
  auto target = handshake_target_from_url(ws_url);
  if (!target) return target.error();
  boost::system::error_code ec;
  ws.handshake(target->host_header, target->target, ec);
  if (ec) return RuntimeError{RuntimeErrorCode::ws_handshake_failed, ec.message()};
  ws.next_layer().enforce_frame_limit();
  ws.read_message_max(kMaxMessageBytes);
  return {};
}

// Step 6.
Result<void, RuntimeError> send_request(WebSocket& ws, const json::Value& request) {
  // One frame for the whole message; the library would otherwise split it
  // at its write buffer size.
  ws.auto_fragment(false);
  ws.text(true);
  const std::string body = json::to_compact_string(request);
  // The library masks the payload into its write buffer and writes one
  // buffer's worth at a time (4 KiB by default). A buffer as large as the
  // message lets every write offer all that is left, so a page-sized
  // message does not leave as a hundred small writes whose last one waits
  // for the runtime's delayed acknowledgement.
  ws.write_buffer_bytes(std::max(body.size(), kSmallestWriteBuffer));
  boost::system::error_code ec;
  ws.write(boost::asio::buffer(body), ec);
  if (ec) return RuntimeError{RuntimeErrorCode::request_send_failed, ec.message()};
  // From here the library writes only control frames: pongs, which are sent,
  // and Close frames, which are not (the runtime's own Close included).
  ws.next_layer().drop_close_frames();
  return {};
}

bool answers_request(const json::Value& message, std::string_view request_id) {
  const json::Value* id = json::find_member(&message, "requestId");
  if (id == nullptr || !id->is_string()) return false;
  const json::String& text = id->get_string();
  return std::string_view(text.data(), text.size()) == request_id;
}

// Step 7.
Result<json::Value, RuntimeError> read_answer(WebSocket& ws, std::string_view expected_request_id) {
  boost::beast::flat_buffer buffer;
  for (;;) {
    buffer.clear();
    boost::system::error_code ec;
    ws.read(buffer, ec);
    if (ec) return RuntimeError{RuntimeErrorCode::response_read_failed, ec.message()};
    // Pings, pongs and Close frames never reach here; the library handles them.
    if (!ws.next_layer().message_was_text()) continue;

    const auto data = buffer.cdata();
    const std::string_view text(static_cast<const char*>(data.data()), data.size());
    auto message = json::parse_json(text);
    if (!message) {
      // A text message must be UTF-8 (RFC 6455): one that is not breaks the
      // protocol, as the library would have reported had it checked.
      if (!is_valid_utf8(text)) {
        return RuntimeError{
            RuntimeErrorCode::response_read_failed,
            boost::beast::websocket::make_error_code(boost::beast::websocket::error::bad_frame_payload).message()};
      }
      return RuntimeError{RuntimeErrorCode::response_invalid, message.error().text};
    }
    if (answers_request(*message, expected_request_id)) return std::move(*message);
  }
}

}  // namespace

Result<json::Value, RuntimeError> runtime_exchange(std::string_view ws_url, json::Value request,
                                                   std::string_view expected_request_id,
                                                   const ExchangeTimeouts& timeouts) {
  auto endpoint = check_runtime_url(ws_url);
  if (!endpoint) return endpoint.error();
  auto context = exchange_context();
  if (!context) return context.error();
  auto address = resolve(*endpoint);
  if (!address) return address.error();
  auto socket = connect(*address, timeouts);
  if (!socket) return socket.error();

  // Memory running out while the request is served (the answer alone may
  // take 64 MiB) is the failure of the step it ran out in, not the host's end.
  RuntimeErrorCode step = RuntimeErrorCode::ws_handshake_failed;
  try {
    // The stream owns the socket from here: step 8 is its destruction on
    // return, whichever way the steps end.
    WebSocket ws((*context)->get_executor(), std::move(*socket), timeouts.socket_io);
    const auto start_step = [&] {
      ws.next_layer().set_step_deadline(std::chrono::steady_clock::now() + timeouts.step);
    };
    start_step();
    if (auto shaken = handshake(ws, ws_url); !shaken) return shaken.error();
    step = RuntimeErrorCode::request_send_failed;
    start_step();
    if (auto sent = send_request(ws, request); !sent) return sent.error();
    step = RuntimeErrorCode::response_read_failed;
    start_step();
    return read_answer(ws, expected_request_id);
  } catch (const std::bad_alloc&) {
    return RuntimeError{step, platform::out_of_memory_error().text};
  }
}

std::string make_request_id() {
  return "native-host-" + std::to_string(platform::current_process_id()) + "-" +
         std::to_string(platform::unix_time_ms());
}

Result<std::optional<std::string>, RuntimeError> query_runtime_status(std::string_view ws_url) {
  const std::string request_id = make_request_id();
  json::Object probe;
  probe["requestId"] = request_id;
  probe["type"] = "runtime.get";

  auto response = runtime_exchange(ws_url, std::move(probe), request_id);
  if (!response) return response.error();

  const std::optional<std::string_view> type = json::string_at(*response, {"type"});
  if (type != "runtime.status") {
    return RuntimeError{RuntimeErrorCode::response_invalid, std::string(kUnexpectedResponseType)};
  }
  const std::optional<std::string_view> version = json::string_at(*response, {"payload", "build", "version"});
  if (!version) return std::optional<std::string>();
  return std::optional<std::string>(std::string(*version));
}

Result<json::Value, RuntimeError> forward_runtime_request(std::string_view ws_url, json::Value message) {
  json::Object* object = message.if_object();
  if (object == nullptr) return RuntimeError{RuntimeErrorCode::request_invalid, std::string(kPayloadNotObject)};

  std::string request_id;
  if (const json::Value* given = object->if_contains("requestId")) {
    if (!given->is_string() || given->get_string().empty()) {
      return RuntimeError{RuntimeErrorCode::request_invalid, std::string(kRequestIdNotNonEmptyString)};
    }
    request_id = std::string(given->get_string());
  } else {
    request_id = make_request_id();
    (*object)["requestId"] = request_id;
  }
  return runtime_exchange(ws_url, std::move(message), request_id);
}

}  // namespace orvix::bridge
