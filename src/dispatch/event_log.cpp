#include "dispatch/event_log.h"

#include <string>

#include "diag/host_log.h"
#include "discovery/product_home.h"

namespace orvix::dispatch {

void log_event(std::string_view method, std::string_view detail) {
  // Resolved afresh for every line, into a buffer kept from one line to the
  // next: once it has grown, a log line allocates no path.
  thread_local std::string path;
  if (discovery::resolve_log_path(path)) diag::write_host_log(path, method, detail);
}

}  // namespace orvix::dispatch
