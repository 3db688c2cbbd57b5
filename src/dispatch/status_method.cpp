#include "dispatch/status_method.h"

#include "bridge/request_exchange.h"
#include "bridge/runtime_error.h"
#include "discovery/runtime_descriptor.h"

namespace orvix::dispatch {

namespace {
// The most members a status result has.
constexpr std::size_t kResultMembers = 9;
}  // namespace

// Members are added in ascending order of their names, which the serialiser
// then finds sorted and writes as they stand.
protocol::Reply handle_status(const json::Value* id, std::string_view method, boost::json::storage_ptr storage) {
  json::Object result(storage);
  result.reserve(kResultMembers);
  auto versions = [&result] {
    result.emplace("nativeHost", "connected");
    result.emplace("nativeHostVersion", kHostVersion);
    result.emplace("protocolVersion", kHostProtocolVersion);
  };

  auto descriptor = discovery::load_runtime_descriptor();
  if (!descriptor) {
    const discovery::DescriptorFailure& failure = descriptor.error();
    if (const std::string* path = discovery::descriptor_failure_path(failure)) result.emplace("descriptorPath", *path);
    result.emplace("error", protocol::host_error_to_json(discovery::descriptor_failure_error(failure), storage));
    versions();
    result.emplace("runtime", discovery::descriptor_failure_state(failure));
    return protocol::Reply::response(id, method, std::move(result));
  }

  const discovery::RuntimeConnectionDescriptor& record = descriptor->record;
  result.emplace("descriptorPath", descriptor->path);
  auto probe = bridge::query_runtime_status(record.ws_url);
  if (!probe) {
    result.emplace("error", protocol::host_error_to_json(bridge::runtime_error_to_host_error(probe.error()), storage));
  }
  versions();
  result.emplace("runtime", probe ? "connected" : "unreachable");
  result.emplace("runtimePid", record.pid);
  result.emplace("runtimeVersion", probe ? probe->value_or(record.runtime_version) : record.runtime_version);
  result.emplace("updatedAt", record.updated_at);
  return protocol::Reply::response(id, method, std::move(result));
}

}  // namespace orvix::dispatch
