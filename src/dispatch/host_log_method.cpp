#include "dispatch/host_log_method.h"

#include "dispatch/event_log.h"
#include "json/lookup.h"

namespace orvix::dispatch {

protocol::Reply handle_host_log(const protocol::RequestView& request) {
  const json::Value* event = request.params != nullptr ? request.params->if_contains("event") : nullptr;
  log_event("host.log", json::as_string(event).value_or("unknown"));
  return protocol::Reply::response(request.id, request.method, protocol::JsonText{R"({"ok":true})"});
}

}  // namespace orvix::dispatch
