// "runtime.request": forwards params.message to the runtime and answers with
// the runtime's whole response, or an error reply.
//
// Log lines, in order: "runtime.request" with the message's type (unless it
// is "browser.native.poll"), then "runtime.request.summary" for
// "browser.native.complete", both before the descriptor is read; after a
// successful exchange, "runtime.response" when the response's payload.command
// is an object.
//
// The message is moved out of the request's params.
//
// Blocks for as long as the bridge's exchange with the runtime takes: at
// most the connect's limit and one limit for each of its later steps
// (bridge/runtime_exchange.h), whatever the runtime sends.
#pragma once

#include "protocol/replies.h"
#include "protocol/request_view.h"

namespace orvix::dispatch {

protocol::Reply handle_runtime_request(const protocol::RequestView& request);

}  // namespace orvix::dispatch
