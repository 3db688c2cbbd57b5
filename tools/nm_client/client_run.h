// The client's whole run: start the host, relay lines and replies, wait.
//
// Each non-blank line read from `requests` is sent to the host as one frame,
// byte for byte (a trailing CR is dropped with the line break; invalid JSON is
// sent as it stands). After each request exactly one reply frame is read and
// written to `replies` as its bytes plus "\n". The host's stderr is this
// process's stderr. Diagnostics go to `diagnostics`, prefixed "nm-client: ".
//
// Returns the process exit status: the host's (128 + signal when it was
// killed), except 1 when the host exited 0 but its output was at fault (a
// broken or oversized frame, a missing reply, bytes after the last reply),
// and 127 when the host could not be started. Blocks until the host has ended.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace orvix::nm_client {

int run_client(const std::vector<std::string>& host_command, std::istream& requests, std::ostream& replies,
               std::ostream& diagnostics);

}  // namespace orvix::nm_client
