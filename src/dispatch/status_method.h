// "hello", "host.hello", "host.status": the host's versions and the runtime's
// state. Loads the descriptor and, when it loads, probes the runtime once.
// Always a response reply; every failure is reported inside the result.
// Blocks for one runtime exchange (bridge/runtime_exchange.h): each step has a
// time limit, the exchange as a whole has none. Writes no log line.
#pragma once

#include <string_view>

#include "json/value.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

inline constexpr std::uint64_t kHostProtocolVersion = 1;
inline constexpr const char* kHostVersion = "0.1.0";

protocol::Reply handle_status(const json::Value* id, std::string_view method);

}  // namespace orvix::dispatch
