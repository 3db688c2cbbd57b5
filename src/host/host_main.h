// The host's main: guard the standard streams, announce, open the native
// channel, serve requests one at a time until the input ends or the channel
// fails, and say how it ended. An exception that escapes a request ends the
// host like a channel failure ("exited with error: internal error: ...").
// Returns the process exit status, which is 0 in every case.
#pragma once

namespace orvix::host {

int run_host();

}  // namespace orvix::host
