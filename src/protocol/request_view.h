// The request envelope, read once: what the handlers take from a request.
//
// `id` is the request's "id" (null when absent). `method` is its "method"
// when that is a string, else its "type" when that is a string, else empty.
// `params` is its "params" when that is an object, else null. A request
// that is not an object has none of them.
//
// All three point into the request, which must outlive the view and every
// reply made from it. A handler may take values out of `params` (the
// forwarding handler moves its message out); `id` and `method` sit beside
// "params" at the top level, which nothing changes, so a reply that refers
// to them never points into something moved.
#pragma once

#include <string_view>

#include "json/value.h"

namespace orvix::protocol {

struct RequestView {
  const json::Value* id = nullptr;
  std::string_view method;
  json::Object* params = nullptr;
};

RequestView view_request(json::Value& request);

}  // namespace orvix::protocol
