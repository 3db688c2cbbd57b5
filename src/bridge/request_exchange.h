// The two kinds of request the host sends the runtime: the status probe and
// the forwarded browser message. Each runs one runtime_exchange over the
// descriptor's wsUrl and blocks for its length; runtime errors from the
// exchange are passed through unchanged.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <boost/system/result.hpp>

#include "bridge/runtime_error.h"
#include "json/value.h"

namespace orvix::bridge {

// "native-host-<process id>-<milliseconds since the Unix epoch>", both in
// decimal. No random part: two ids made in the same millisecond are equal.
std::string make_request_id();

// Sends {"requestId": <fresh id>, "type": "runtime.get"} and checks that the
// answer's "type" is the string "runtime.status" (else response_invalid with
// kUnexpectedResponseType). Success carries the string at
// /payload/build/version when there is one (the empty string included), and
// nothing when that member is missing or not a string.
[[nodiscard]] boost::system::result<std::optional<std::string>, RuntimeError> query_runtime_status(
    std::string_view ws_url);

// Sends the browser's `message` unchanged and returns the runtime's whole
// answer. A message without "requestId" gets a fresh one added; one that has
// it must carry a non-empty string, which is then what the answer is matched
// against. Refused before any connection, with request_invalid: a message that
// is not an object (kPayloadNotObject), a "requestId" that is not a non-empty
// string (kRequestIdNotNonEmptyString).
[[nodiscard]] boost::system::result<json::Value, RuntimeError> forward_runtime_request(std::string_view ws_url,
                                                                                     json::Value message);

}  // namespace orvix::bridge
