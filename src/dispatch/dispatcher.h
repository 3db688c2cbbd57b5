// Dispatch: one request in, exactly one reply out; never fails.
//
// The request's envelope is read once (protocol/request_view.h) and the
// handlers take that view. "hello", "host.hello" and "host.status" go to the
// status handler, "host.log" to the log method, "runtime.request" to the
// forwarding handler (names match exactly); any other name is logged and
// answered with the unsupported_method error reply. The request's "id" is
// echoed unchanged (null when absent).
//
// The reply refers to the request's id and method: keep the request until
// the reply is written. The forwarding handler moves params.message out of
// the request, so do not read the request again.
#pragma once

#include "json/value.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

protocol::Reply dispatch_request(json::Value& request);

}  // namespace orvix::dispatch
