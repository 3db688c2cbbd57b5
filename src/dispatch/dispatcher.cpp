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

std::string_view resolve_method(const json::Value& request) {
  if (auto method = json::string_at(request, {"method"})) return *method;
  if (auto type = json::string_at(request, {"type"})) return *type;
  return {};
}

}  // namespace

protocol::Reply dispatch_request(json::Value& request) {
  const json::Value* id = json::find_member(&request, "id");
  const std::string_view method = resolve_method(request);

  if (method == "hello" || method == "host.hello" || method == "host.status") {
    return handle_status(id, method);
  }
  if (method == "host.log") return handle_host_log(id, method, request);
  if (method == "runtime.request") return handle_runtime_request(id, method, request);

  log_event(method, "unsupported_method");
  return protocol::Reply::error(
      id, method, protocol::HostError{"unsupported_method", "Native host method is not supported: " + std::string(method)});
}

}  // namespace orvix::dispatch
