// The handlers' one way into the host log: resolves the log path from the
// environment at every call and appends one line there. Silent when no home
// is known and on every failure of the log.
#pragma once

#include <string_view>

namespace orvix::dispatch {

void log_event(std::string_view method, std::string_view detail);

}  // namespace orvix::dispatch
