// The sample runtime's life: listen, publish the descriptor, serve until
// SIGINT or SIGTERM, withdraw the descriptor. Prints the ready line to
// stdout. Succeeds after a signal once the descriptor is withdrawn; fails,
// with a text for people, when it could not start or could not withdraw its
// descriptor.
#pragma once

#include "base/result.h"
#include "options.h"

namespace orvix::sample_runtime {

[[nodiscard]] Result<void> run_sample_runtime(const Options& options);

}  // namespace orvix::sample_runtime
