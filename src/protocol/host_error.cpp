#include "protocol/host_error.h"

namespace orvix::protocol {

json::Value host_error_to_json(const HostError& error) {
  json::Object object;
  object["code"] = error.code;
  object["message"] = error.message;
  return object;
}

}  // namespace orvix::protocol
