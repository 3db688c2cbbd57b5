#include "dispatch/host_log_method.h"

#include "diag/host_log.h"
#include "dispatch/replies.h"
#include "json/lookup.h"

namespace orvix::dispatch {

json::Value handle_host_log(json::Value id, std::string_view method, const json::Value& request) {
  const auto event = json::string_at(request, {"params", "event"});
  diag::write_host_log("host.log", event.value_or("unknown"));
  json::Object result;
  result["ok"] = true;
  return make_response_reply(std::move(id), method, std::move(result));
}

}  // namespace orvix::dispatch
