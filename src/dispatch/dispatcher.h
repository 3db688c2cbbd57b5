// Dispatch: one request in, exactly one reply out; never fails.
//
// The method name is "method" when it is a string, else "type" when that is a
// string, else empty; names match exactly. "hello", "host.hello" and
// "host.status" go to the status handler, "host.log" to the log method,
// "runtime.request" to the forwarding handler; any other name is logged and
// answered with the unsupported_method error reply. The request's "id" is
// echoed unchanged (null when absent).
#pragma once

#include "json/value.h"

namespace orvix::dispatch {

json::Value dispatch_request(json::Value request);

}  // namespace orvix::dispatch
