// The host error: the machine-readable code and human-readable message that
// every failure reaching the browser is reduced to. Replies write it as
// {"code": ..., "message": ...}, exactly these two members (replies.h).
#pragma once

#include <string>
#include <string_view>

namespace orvix::protocol {

struct HostError {
  std::string code;
  std::string message;
};

// The same two texts, owned elsewhere: for a reply written while they live.
struct HostErrorView {
  std::string_view code;
  std::string_view message;
};

}  // namespace orvix::protocol
