// What the sample runtime sends back for one WebSocket message it received.
//
// Only a text message holding a JSON object with a string "requestId" is
// answered; anything else gets no answer (empty list). The answer is one text
// message with the same "requestId":
//   - "type" "runtime.get": {"payload":{"build":{"version":V}},"requestId":..,"type":"runtime.status"}
//   - any other request: {"payload":{"echo":<request>},"requestId":..,"type":T}
//     where T is the request's "type" + ".result", or "runtime.result" when the
//     request has no string "type".
// Switches in the request's "payload" object, for exercising a client:
//   - "wantCommand": true    the answer's payload also holds "command":{"name":"noop"}
//   - "sendNoiseFirst": true three messages that do not answer the request come
//     first: a binary message, a JSON object whose requestId is "noise-for-" and
//     the request's id, a JSON array.
// Pure function: no I/O, never fails.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvix::sample_runtime {

struct OutgoingMessage {
  bool text = true;  // else binary
  std::string bytes;
};

std::vector<OutgoingMessage> answer_message(std::string_view message, bool is_text, std::string_view version);

}  // namespace orvix::sample_runtime
