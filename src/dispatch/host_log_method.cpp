#include "dispatch/host_log_method.h"

#include "dispatch/event_log.h"
#include "json/lookup.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

json::Value handle_host_log(json::Value id, std::string_view method, const json::Value& request) {
  const auto event = json::string_at(request, {"params", "event"});
  log_event("host.log", event.value_or("unknown"));
  json::Object result;
  result["ok"] = true;
  return protocol::make_response_reply(std::move(id), method, std::move(result));
}

}  // namespace orvix::dispatch
