// The host's main: announce, open the native channel, serve requests one at a
// time until the input ends or the channel fails, and say how it ended.
// Returns the process exit status, which is 0 in both cases.
#pragma once

namespace orvix::host {

int run_host();

}  // namespace orvix::host
