#include "dispatch/event_log.h"

#include "diag/host_log.h"
#include "discovery/product_home.h"

namespace orvix::dispatch {

void log_event(std::string_view method, std::string_view detail) {
  if (const auto path = discovery::resolve_log_path()) diag::write_host_log(*path, method, detail);
}

}  // namespace orvix::dispatch
