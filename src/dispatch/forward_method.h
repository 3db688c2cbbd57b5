// "runtime.request": forwards params.message to the runtime and answers with
// the runtime's whole response, or an error reply.
//
// Log lines, in order: "runtime.request" with the message's type (unless it
// is "browser.native.poll"), then "runtime.request.summary" for
// "browser.native.complete", both before the descriptor is read; after a
// successful exchange, "runtime.response" when the response's payload.command
// is an object. Blocks for one runtime exchange (bridge/runtime_exchange.h):
// each step has a time limit, the exchange as a whole has none.
#pragma once

#include <string_view>

#include "json/value.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

// The message is moved out of the request.
protocol::Reply handle_runtime_request(const json::Value* id, std::string_view method, json::Value& request);

}  // namespace orvix::dispatch
