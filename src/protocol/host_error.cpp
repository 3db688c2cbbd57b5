#include "protocol/host_error.h"

namespace orvix::protocol {

json::Value host_error_to_json(const HostError& error, boost::json::storage_ptr storage) {
  json::Object object(std::move(storage));
  object.reserve(2);
  object.emplace("code", error.code);
  object.emplace("message", error.message);
  return object;
}

}  // namespace orvix::protocol
