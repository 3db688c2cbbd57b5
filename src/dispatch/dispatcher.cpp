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

constexpr std::string_view kHello = "hello";
constexpr std::string_view kHostHello = "host.hello";
constexpr std::string_view kHostStatus = "host.status";
constexpr std::string_view kHostLog = "host.log";
constexpr std::string_view kRuntimeRequest = "runtime.request";

// The served names, with the pieces of the reply that hold them composed at
// build time.
struct Route {
  const protocol::MethodName& method;
  protocol::Reply (*handler)(const protocol::RequestView&);
};

template <const std::string_view& Name>
constexpr const protocol::MethodName& kServed = protocol::ServedMethod<Name>::name;

constexpr Route kRoutes[] = {
    {kServed<kHello>, handle_status},
    {kServed<kHostHello>, handle_status},
    {kServed<kHostStatus>, handle_status},
    {kServed<kHostLog>, handle_host_log},
    {kServed<kRuntimeRequest>, handle_runtime_request},
};

}  // namespace

protocol::Reply dispatch_request(json::Value& request) {
  protocol::RequestView view = protocol::view_request(request);
  const std::string_view method = view.method;

  for (const Route& route : kRoutes) {
    if (method == route.method.text) {
      view.served = &route.method;
      return route.handler(view);
    }
  }

  log_event(method, "unsupported_method");
  return protocol::Reply::error(
      view.id, method,
      protocol::HostError{"unsupported_method", "Native host method is not supported: " + std::string(method)});
}

}  // namespace orvix::dispatch
