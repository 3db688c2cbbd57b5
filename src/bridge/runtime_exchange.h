// One request to the runtime and the one message that answers it, and the two
// requests the host sends that way: the status probe and the forwarded
// browser message.
//
// An exchange stands alone and runs these steps; the first failure ends it
// with the runtime error named, and nothing is retried or kept:
//   1. URL checks: the text parses as an absolute WHATWG URL (no base), else
//      ws_url_invalid with the parser's description; its scheme is "ws", else
//      ws_url_unsupported with the scheme; it has a host, else
//      ws_url_missing_host; it has a port other than the default 80, which
//      the parser drops, else ws_url_missing_port.
//   2. Resolve the host; the first address only. host_resolve_failed with the
//      resolver's text, or kHostDidNotResolve for an empty answer.
//   3. Connect within the connect timeout: connect_failed with the system's
//      text, "connection timed out" when the timeout passes. connect_failed
//      with the system's text too, before step 2, when the system refuses
//      what the WebSocket stream needs (exchange_context.h).
//   4. Set the socket's receive and send timeouts: connect_failed.
//   5. The WebSocket opening handshake, its Host header and target taken from
//      the URL text as written (handshake_target.h), with no extension:
//      ws_handshake_failed.
//   6. Send the request as one compact JSON text frame, offered to the
//      socket whole (header and masked payload gathered in each write), on a
//      socket that sends small segments at once: request_send_failed.
//   7. Read until a text message parses as a JSON object whose "requestId" is
//      a string equal byte for byte to the expected id; that object is the
//      result. Other messages are skipped. response_read_failed for a failed
//      read: the runtime closing, a silence of the I/O timeout, a protocol
//      fault, a message over 64 MiB or a frame over 16 MiB (frames received
//      ahead of that one are still read); response_invalid with the parser's
//      description for a text message that is not JSON (nothing more is read).
//   8. Close the socket, on every path once it is connected, without a
//      WebSocket closing handshake: no Close frame is ever sent, not even in
//      answer to the runtime's own.
// Memory running out in steps 5 to 7 fails that step with the system's text
// for it (platform::out_of_memory_error); the host goes on with its next
// request.
//
// Blocks the calling thread: in the resolver as long as the system takes, in
// the connect up to the connect timeout, in each single socket read or write
// up to the I/O timeout, and in each of steps 5, 6 and 7 as a whole up to the
// step timeout, however the runtime keeps it alive (pings, answers to other
// requests, a byte now and then): the step then fails with its code and
// "the runtime did not complete this step within its time limit". So a
// request waits at most the connect timeout and three step timeouts (61.5 s)
// plus what the resolver takes, and the host then serves the next one.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "bridge/runtime_error.h"
#include "json/value.h"

namespace orvix::bridge {

struct ExchangeTimeouts {
  std::chrono::milliseconds connect{1500};
  std::chrono::milliseconds socket_io{20000};  // each single read or write
  // The handshake, the sending of the request, and the wait for the answer,
  // each as a whole.
  std::chrono::milliseconds step{20000};
};

// Sends `request` and returns the answer whose "requestId" is
// `expected_request_id`. The host itself always uses the default timeouts.
[[nodiscard]] Result<json::Value, RuntimeError> runtime_exchange(std::string_view ws_url, json::Value request,
                                                                 std::string_view expected_request_id,
                                                                 const ExchangeTimeouts& timeouts = {});

struct RuntimeEndpoint {
  // The host as the resolver takes it: a lower-case domain, a dotted IPv4
  // address, or an IPv6 address without the brackets of its URL form.
  std::string host;
  std::uint16_t port = 0;
};

// Step 1 alone: the address to connect to, or the URL kinds. Pure computation.
[[nodiscard]] Result<RuntimeEndpoint, RuntimeError> check_runtime_url(std::string_view ws_url);

// "native-host-<process id>-<milliseconds since the Unix epoch>", both in
// decimal. No random part: two ids made in the same millisecond are equal.
std::string make_request_id();

// Sends {"requestId": <fresh id>, "type": "runtime.get"} and checks that the
// answer's "type" is the string "runtime.status" (else response_invalid with
// kUnexpectedResponseType). Success carries the string at
// /payload/build/version when there is one (the empty string included), and
// nothing when that member is missing or not a string. Other failures are
// those of the exchange, unchanged.
[[nodiscard]] Result<std::optional<std::string>, RuntimeError> query_runtime_status(std::string_view ws_url);

// Sends the browser's `message` unchanged and returns the runtime's whole
// answer, or the exchange's failure unchanged. A message without "requestId"
// gets a fresh one added; one that has it must carry a non-empty string,
// which is then what the answer is matched against. Refused before any
// connection, with request_invalid: a message that is not an object
// (kPayloadNotObject), a "requestId" that is not a non-empty string
// (kRequestIdNotNonEmptyString).
[[nodiscard]] Result<json::Value, RuntimeError> forward_runtime_request(std::string_view ws_url, json::Value message);

}  // namespace orvix::bridge
