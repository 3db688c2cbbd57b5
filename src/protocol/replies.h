// The two reply envelopes every handler answers with.
//
// Response reply: {"id", "method", "result", "type": "response"}.
// Error reply:    {"error": {"code", "message"}, "id", "method", "type": "error"}.
// No reply carries any other member.
//
// A reply is kept as its parts and written straight into the output buffer,
// members in ascending order, without building a value for the envelope. It
// refers to the request's id and method rather than copying them: the
// request must outlive the reply.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "json/serialize.h"
#include "json/value.h"
#include "protocol/host_error.h"
#include "protocol/request_view.h"

namespace orvix::protocol {

// A result that is compact JSON text already, such as {"ok":true}, written
// by the handler (members in ascending order). The text is the handler's
// (static, or a buffer it keeps) and must outlive the reply.
struct JsonText {
  std::string_view text;
};

// {"code":...,"message":...}
void write_host_error(json::CompactWriter& writer, HostErrorView error);

class Reply {
 public:
  // `id` null: the request had none, and the reply says null.
  static Reply response(const json::Value* id, std::string_view method, json::Value result) {
    return Reply(id, method, std::move(result));
  }
  static Reply response(const json::Value* id, std::string_view method, JsonText result) {
    return Reply(id, method, result);
  }
  static Reply error(const json::Value* id, std::string_view method, HostError error) {
    return Reply(id, method, std::move(error));
  }

  // Appends the reply's compact JSON text to `out`.
  void write(std::string& out) const;
  void write(json::CompactWriter& writer) const;

 private:
  Reply(const json::Value* id, std::string_view method, std::variant<json::Value, JsonText, HostError> body)
      : id_(id), method_(method), body_(std::move(body)) {}

  const json::Value* id_;
  std::string_view method_;
  std::variant<json::Value, JsonText, HostError> body_;
};

}  // namespace orvix::protocol
