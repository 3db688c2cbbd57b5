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

// The method a reply echoes. For a name the host serves (matched exactly),
// the reply's pieces around it are composed at build time with the name in
// them (protocol::ServedMethod, replies.h): the reply writes them as they
// stand rather than scanning the name. Empty for any other name.
struct MethodName {
  constexpr MethodName(std::string_view text) : text(text) {}  // NOLINT: a plain name converts
  constexpr MethodName(const char* text) : text(text) {}       // NOLINT: as does a literal
  constexpr MethodName(std::string_view text, std::string_view response_member, std::string_view error_member)
      : text(text), response_member(response_member), error_member(error_member) {}

  std::string_view text;
  // ,"method":"<name>","result":
  std::string_view response_member;
  // ,"method":"<name>","type":"error"}
  std::string_view error_member;
};

struct RequestView {
  const json::Value* id = nullptr;
  std::string_view method;
  // Set by the dispatcher when `method` is a name it serves: the same name
  // with its reply pieces.
  const MethodName* served = nullptr;
  json::Object* params = nullptr;

  MethodName method_name() const { return served != nullptr ? *served : MethodName(method); }
};

RequestView view_request(json::Value& request);

}  // namespace orvix::protocol
