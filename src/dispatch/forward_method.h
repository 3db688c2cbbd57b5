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
// Blocks for as long as the bridge's exchange with the runtime takes: the
// connect and each single socket read or write have a time limit there, the
// exchange as a whole has none (a runtime that keeps sending answers to other
// requests keeps it waiting).
#pragma once

#include "protocol/replies.h"
#include "protocol/request_view.h"

namespace orvix::dispatch {

protocol::Reply handle_runtime_request(const protocol::RequestView& request);

}  // namespace orvix::dispatch
