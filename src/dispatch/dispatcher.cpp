#include "dispatch/dispatcher.h"

#include <string>

#include "dispatch/event_log.h"
#include "dispatch/forward_method.h"
#include "dispatch/host_log_method.h"
#include "dispatch/status_method.h"
#include "protocol/replies.h"
#include "protocol/request_view.h"

namespace orvix::dispatch {

protocol::Reply dispatch_request(json::Value& request) {
  const protocol::RequestView view = protocol::view_request(request);
  const std::string_view method = view.method;

  if (method == "hello" || method == "host.hello" || method == "host.status") return handle_status(view);
  if (method == "host.log") return handle_host_log(view);
  if (method == "runtime.request") return handle_runtime_request(view);

  log_event(method, "unsupported_method");
  return protocol::Reply::error(
      view.id, method,
      protocol::HostError{"unsupported_method", "Native host method is not supported: " + std::string(method)});
}

}  // namespace orvix::dispatch
