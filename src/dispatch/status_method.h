// "hello", "host.hello", "host.status": the host's versions and the runtime's
// state. Loads the descriptor and, when it loads, probes the runtime once.
// Always a response reply; every failure is reported inside the result.
// Writes no log line.
//
// Blocks for as long as the bridge's exchange with the runtime takes: at
// most the connect's limit and one limit for each of its later steps
// (bridge/runtime_exchange.h), whatever the runtime sends.
#pragma once

#include <cstdint>

#include "protocol/replies.h"
#include "protocol/request_view.h"

namespace orvix::dispatch {

inline constexpr std::uint64_t kHostProtocolVersion = 1;
// The project's version (CMake's project version): what the status reply
// names as nativeHostVersion and what every program's --version prints.
extern const char* const kHostVersion;

protocol::Reply handle_status(const protocol::RequestView& request);

}  // namespace orvix::dispatch
