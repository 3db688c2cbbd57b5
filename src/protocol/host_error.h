// The host error: the machine-readable code and human-readable message that
// every failure reaching the browser is reduced to.
#pragma once

#include <string>

#include "json/value.h"

namespace orvix::protocol {

struct HostError {
  std::string code;
  std::string message;
};

// {"code": ..., "message": ...}: exactly these two string members.
json::Value host_error_to_json(const HostError& error);

}  // namespace orvix::protocol
