// "hello", "host.hello", "host.status": the host's versions and the runtime's
// state. Loads the descriptor and, when it loads, probes the runtime once.
// Always a response reply; every failure is reported inside the result.
// Writes no log line.
//
// Blocks for as long as the bridge's exchange with the runtime takes: the
// connect and each single socket read or write have a time limit there, the
// exchange as a whole has none (a runtime that keeps sending answers to other
// requests keeps it waiting).
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
