#include "protocol/replies.h"

namespace orvix::protocol {

json::Value make_response_reply(json::Value id, std::string_view method, json::Value result) {
  json::Object reply;
  reply["id"] = std::move(id);
  reply["method"] = method;
  reply["result"] = std::move(result);
  reply["type"] = "response";
  return reply;
}

json::Value make_error_reply(json::Value id, std::string_view method, const HostError& error) {
  json::Object reply;
  reply["error"] = host_error_to_json(error);
  reply["id"] = std::move(id);
  reply["method"] = method;
  reply["type"] = "error";
  return reply;
}

}  // namespace orvix::protocol
