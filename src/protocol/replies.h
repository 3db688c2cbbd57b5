// The two reply envelopes every handler answers with.
//
// Response reply: {"id", "method", "result", "type": "response"}.
// Error reply:    {"error": {"code", "message"}, "id", "method", "type": "error"}.
// No reply carries any other member.
#pragma once

#include <string_view>

#include "protocol/host_error.h"
#include "json/value.h"

namespace orvix::protocol {

json::Value make_response_reply(json::Value id, std::string_view method, json::Value result);
json::Value make_error_reply(json::Value id, std::string_view method, const HostError& error);

}  // namespace orvix::protocol
