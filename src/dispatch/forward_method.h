// "runtime.request": forwards params.message to the runtime and answers with
// the runtime's whole response, or an error reply.
//
// Log lines, in order: "runtime.request" with the message's type (unless it
// is "browser.native.poll"), then "runtime.request.summary" for
// "browser.native.complete", both before the descriptor is read; after a
// successful exchange, "runtime.response" when the response's payload.command
// is an object. Blocks for at most the runtime connection's time limits.
#pragma once

#include <string_view>

#include "json/value.h"

namespace orvix::dispatch {

// Takes the request over: the message is moved out of it.
json::Value handle_runtime_request(json::Value id, std::string_view method, json::Value request);

}  // namespace orvix::dispatch
