#include "dispatch/host_log_method.h"

#include "dispatch/event_log.h"
#include "json/lookup.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

protocol::Reply handle_host_log(const json::Value* id, std::string_view method, const json::Value& request) {
  const auto event = json::string_at(request, {"params", "event"});
  log_event("host.log", event.value_or("unknown"));
  return protocol::Reply::response(id, method, protocol::JsonText{R"({"ok":true})"});
}

}  // namespace orvix::dispatch
