#include "dispatch/dispatcher.h"

#include <string>

#include "dispatch/event_log.h"
#include "dispatch/forward_method.h"
#include "dispatch/host_log_method.h"
#include "dispatch/status_method.h"
#include "protocol/fixed_text.h"
#include "protocol/replies.h"
#include "protocol/request_view.h"

namespace orvix::dispatch {

namespace {

constexpr std::string_view kHello = "hello";
constexpr std::string_view kHostHello = "host.hello";
constexpr std::string_view kHostStatus = "host.status";
constexpr std::string_view kHostLog = "host.log";
constexpr std::string_view kRuntimeRequest = "runtime.request";

// The served names with their JSON text, which the reply echoes without a
// scan (each name is proved at compile time to need no escape).
struct Route {
  std::string_view name;
  std::string_view json;
  protocol::Reply (*handler)(const protocol::RequestView&);
};

template <const std::string_view& Name>
constexpr std::string_view kQuoted = protocol::Quoted<Name>::text;

constexpr Route kRoutes[] = {
    {kHello, kQuoted<kHello>, handle_status},
    {kHostHello, kQuoted<kHostHello>, handle_status},
    {kHostStatus, kQuoted<kHostStatus>, handle_status},
    {kHostLog, kQuoted<kHostLog>, handle_host_log},
    {kRuntimeRequest, kQuoted<kRuntimeRequest>, handle_runtime_request},
};

}  // namespace

protocol::Reply dispatch_request(json::Value& request) {
  protocol::RequestView view = protocol::view_request(request);
  const std::string_view method = view.method;

  for (const Route& route : kRoutes) {
    if (method == route.name) {
      view.method_json = route.json;
      return route.handler(view);
    }
  }

  log_event(method, "unsupported_method");
  return protocol::Reply::error(
      view.id, method,
      protocol::HostError{"unsupported_method", "Native host method is not supported: " + std::string(method)});
}

}  // namespace orvix::dispatch
