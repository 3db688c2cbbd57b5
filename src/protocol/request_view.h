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

// The method a reply echoes. `json` is the same name as a JSON string,
// quotes included, when it is known at build time to need no escape (a name
// the host serves, matched exactly): the reply writes it as it stands rather
// than scanning it. Empty otherwise.
struct MethodName {
  MethodName(std::string_view text) : text(text) {}  // NOLINT: a plain name converts
  MethodName(const char* text) : text(text) {}       // NOLINT: as does a literal
  MethodName(std::string_view text, std::string_view json) : text(text), json(json) {}

  std::string_view text;
  std::string_view json;
};

struct RequestView {
  const json::Value* id = nullptr;
  std::string_view method;
  // Set by the dispatcher when `method` is a name it serves.
  std::string_view method_json;
  json::Object* params = nullptr;

  MethodName method_name() const { return {method, method_json}; }
};

RequestView view_request(json::Value& request);

}  // namespace orvix::protocol
