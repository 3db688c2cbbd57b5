// Dispatch: one request in, exactly one reply out; never fails.
//
// The method name is "method" when it is a string, else "type" when that is a
// string, else empty; names match exactly. "hello", "host.hello" and
// "host.status" go to the status handler, "host.log" to the log method,
// "runtime.request" to the forwarding handler; any other name is logged and
// answered with the unsupported_method error reply. The request's "id" is
// echoed unchanged (null when absent).
//
// The reply refers to the request's id and method, and "runtime.request"
// moves its message out of the request: keep the request until the reply is
// written, and do not read it again.
#pragma once

#include "json/value.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

protocol::Reply dispatch_request(json::Value& request);

}  // namespace orvix::dispatch
