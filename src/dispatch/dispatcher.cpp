#include "dispatch/dispatcher.h"

#include <string>

#include "dispatch/event_log.h"
#include "dispatch/forward_method.h"
#include "dispatch/host_log_method.h"
#include "dispatch/status_method.h"
#include "json/lookup.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

namespace {

std::string resolve_method(const json::Value& request) {
  if (auto method = json::string_at(request, {"method"})) return std::string(*method);
  if (auto type = json::string_at(request, {"type"})) return std::string(*type);
  return {};
}

}  // namespace

json::Value dispatch_request(json::Value request) {
  const json::Value* id_member = json::find_member(&request, "id");
  json::Value id = id_member != nullptr ? *id_member : json::Value(nullptr);
  const std::string method = resolve_method(request);

  if (method == "hello" || method == "host.hello" || method == "host.status") {
    return handle_status(std::move(id), method);
  }
  if (method == "host.log") return handle_host_log(std::move(id), method, request);
  if (method == "runtime.request") return handle_runtime_request(std::move(id), method, std::move(request));

  log_event(method, "unsupported_method");
  return protocol::make_error_reply(std::move(id), method,
                                    protocol::HostError{"unsupported_method", "Native host method is not supported: " + method});
}

}  // namespace orvix::dispatch
