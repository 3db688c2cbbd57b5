// "host.log": the browser names an event; the host appends one log line with
// method "host.log" and the event as its detail ("unknown" unless
// params.event is a string), and always answers {"ok": true}.
#pragma once

#include <string_view>

#include "json/value.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

protocol::Reply handle_host_log(const json::Value* id, std::string_view method, const json::Value& request);

}  // namespace orvix::dispatch
