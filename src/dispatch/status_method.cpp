#include "dispatch/status_method.h"

#include "bridge/runtime_error.h"
#include "bridge/runtime_exchange.h"
#include "discovery/runtime_descriptor.h"
#include "json/serialize.h"

namespace orvix::dispatch {

const char* const kHostVersion = ORVIX_VERSION;

namespace {

// The result's text is written member by member, in ascending order of the
// names, without building a value first: a status request is the browser's
// most frequent one.
class ResultText {
 public:
  explicit ResultText(std::string& out) : writer_(out) { writer_.raw('{'); }
  ~ResultText() { writer_.raw('}'); }
  ResultText(const ResultText&) = delete;
  ResultText& operator=(const ResultText&) = delete;

  void string(std::string_view name, std::string_view value) {
    this->name(name);
    writer_.string(value);
  }
  void number(std::string_view name, std::uint64_t value) {
    this->name(name);
    writer_.number(value);
  }
  void error(const protocol::HostError& error) {
    name("error");
    protocol::write_host_error(writer_, error);
  }
  void versions() {
    string("nativeHost", "connected");
    string("nativeHostVersion", kHostVersion);
    number("protocolVersion", kHostProtocolVersion);
  }

 private:
  void name(std::string_view name) {
    if (!first_) writer_.raw(',');
    first_ = false;
    writer_.name(name);
  }

  json::CompactWriter writer_;
  bool first_ = true;
};

}  // namespace

protocol::Reply handle_status(const protocol::RequestView& request) {
  std::string text;
  text.reserve(256);
  auto descriptor = discovery::load_runtime_descriptor();
  if (!descriptor) {
    const discovery::DescriptorFailure& failure = descriptor.error();
    {
      ResultText result(text);
      if (const std::string* path = discovery::descriptor_failure_path(failure)) result.string("descriptorPath", *path);
      result.error(discovery::descriptor_failure_error(failure));
      result.versions();
      result.string("runtime", discovery::descriptor_failure_state(failure));
    }
    return protocol::Reply::response(request.id, request.method, protocol::JsonText{std::move(text)});
  }

  const discovery::RuntimeConnectionDescriptor& record = descriptor->record;
  auto probe = bridge::query_runtime_status(record.ws_url);
  {
    ResultText result(text);
    result.string("descriptorPath", descriptor->path);
    if (!probe) result.error(bridge::runtime_error_to_host_error(probe.error()));
    result.versions();
    result.string("runtime", probe ? "connected" : "unreachable");
    result.number("runtimePid", record.pid);
    const bool reported = probe && *probe;
    result.string("runtimeVersion", reported ? std::string_view(**probe) : std::string_view(record.runtime_version));
    result.number("updatedAt", record.updated_at);
  }
  return protocol::Reply::response(request.id, request.method, protocol::JsonText{std::move(text)});
}

}  // namespace orvix::dispatch
