#include "dispatch/dispatcher.h"

#include <string>

#include "dispatch/event_log.h"
#include "dispatch/forward_method.h"
#include "dispatch/host_log_method.h"
#include "dispatch/status_method.h"
#include "protocol/replies.h"
#include "protocol/request_view.h"

namespace orvix::dispatch {

namespace {

struct Route {
  std::string_view method;
  protocol::Reply (*handler)(const protocol::RequestView&);
};

constexpr Route kRoutes[] = {
    {"hello", handle_status},
    {"host.hello", handle_status},
    {"host.status", handle_status},
    {"host.log", handle_host_log},
    {"runtime.request", handle_runtime_request},
};

}  // namespace

protocol::Reply dispatch_request(json::Value& request) {
  const protocol::RequestView view = protocol::view_request(request);
  const std::string_view method = view.method;
  for (const Route& route : kRoutes) {
    if (method == route.method) return route.handler(view);
  }

  log_event(method, "unsupported_method");
  return protocol::Reply::error(
      view.id, method,
      protocol::HostError{"unsupported_method", "Native host method is not supported: " + std::string(method)});
}

}  // namespace orvix::dispatch
