// The sample runtime's life: listen, publish the descriptor, serve until
// SIGINT or SIGTERM, withdraw the descriptor. Returns the exit status: 0 after
// a signal, 1 when it could not start or could not withdraw its descriptor.
// Prints the ready line to stdout and failures to stderr.
#pragma once

#include "options.h"

namespace orvix::sample_runtime {

int run_sample_runtime(const Options& options);

}  // namespace orvix::sample_runtime
