// The host error: the machine-readable code and human-readable message that
// every failure reaching the browser is reduced to. Replies write it as
// {"code": ..., "message": ...}, exactly these two members (replies.h).
#pragma once

#include <string>

namespace orvix::protocol {

struct HostError {
  std::string code;
  std::string message;
};

}  // namespace orvix::protocol
