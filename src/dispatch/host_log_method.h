// "host.log": the browser names an event; the host appends one log line with
// method "host.log" and the event as its detail ("unknown" unless
// params.event is a string), and always answers {"ok": true}.
#pragma once

#include "protocol/replies.h"
#include "protocol/request_view.h"

namespace orvix::dispatch {

protocol::Reply handle_host_log(const protocol::RequestView& request);

}  // namespace orvix::dispatch
