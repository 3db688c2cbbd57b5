#include "dispatch/status_method.h"

#include "bridge/request_exchange.h"
#include "bridge/runtime_error.h"
#include "discovery/runtime_descriptor.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

json::Value handle_status(json::Value id, std::string_view method) {
  json::Object result;
  result["nativeHost"] = "connected";
  result["nativeHostVersion"] = kHostVersion;
  result["protocolVersion"] = kHostProtocolVersion;

  auto descriptor = discovery::load_runtime_descriptor();
  if (!descriptor) {
    const discovery::DescriptorFailure& failure = descriptor.error();
    result["runtime"] = discovery::descriptor_failure_state(failure);
    if (const std::string* path = discovery::descriptor_failure_path(failure)) result["descriptorPath"] = *path;
    result["error"] = protocol::host_error_to_json(discovery::descriptor_failure_error(failure));
    return protocol::make_response_reply(std::move(id), method, std::move(result));
  }

  const discovery::RuntimeConnectionDescriptor& record = descriptor->record;
  result["descriptorPath"] = descriptor->path;
  result["runtimePid"] = record.pid;
  result["updatedAt"] = record.updated_at;
  auto probe = bridge::query_runtime_status(record.ws_url);
  if (probe) {
    result["runtime"] = "connected";
    result["runtimeVersion"] = probe->value_or(record.runtime_version);
  } else {
    result["runtime"] = "unreachable";
    result["runtimeVersion"] = record.runtime_version;
    result["error"] = protocol::host_error_to_json(bridge::runtime_error_to_host_error(probe.error()));
  }
  return protocol::make_response_reply(std::move(id), method, std::move(result));
}

}  // namespace orvix::dispatch
