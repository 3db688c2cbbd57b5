#include "dispatch/status_method.h"

#include "bridge/runtime_error.h"
#include "bridge/runtime_exchange.h"
#include "discovery/runtime_descriptor.h"
#include "json/serialize.h"

namespace orvix::dispatch {

const char* const kHostVersion = ORVIX_VERSION;

namespace {

// The members every status result carries, between "error" and "runtime",
// as one piece of text with the comma before it (never the first member):
// the version is known when the host is built.
constexpr std::string_view kVersionMembers =
    R"(,"nativeHost":"connected","nativeHostVersion":")" ORVIX_VERSION R"(","protocolVersion":1)";
static_assert(kHostProtocolVersion == 1, "kVersionMembers spells the protocol version out");

// The members of a missing descriptor's result after its path, written once
// by the writer of every other result and then copied as they stand: no
// descriptor published yet is the state a browser asks about most, and
// scanning these fixed texts at every request costs a sixth more
// instructions per hello.
const std::string& missing_descriptor_members() {
  static const std::string members = [] {
    std::string text;
    json::CompactWriter writer(text);
    writer.raw(R"(,"error":)");
    protocol::write_host_error(writer, {discovery::kMissingCode, discovery::kMissingMessage});
    writer.raw(kVersionMembers);
    writer.raw(R"(,"runtime":)");
    writer.string(discovery::kStateNotRunning);
    return text;
  }();
  return members;
}

// The result's text is written member by member, in ascending order of the
// names, without building a value first: a status request is the browser's
// most frequent one. Fixed names and values go in as raw text; only what
// comes from outside (paths, messages) is scanned for escapes.
class ResultText {
 public:
  // Written over `buffer` from its start; the bytes past the result are
  // scratch left in place, so a buffer kept from one request to the next is
  // not filled afresh every time.
  explicit ResultText(std::string& buffer) : buffer_(buffer), writer_(buffer, 0, json::CompactWriter::KeepScratch{}) {
    writer_.raw('{');
  }
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
  void error(protocol::HostErrorView error) {
    name("error");
    protocol::write_host_error(writer_, error);
  }
  // Members that are JSON text already, the comma before them included.
  void raw(std::string_view members) { writer_.raw(members); }

  // Closes the object: the result is the buffer's text up to here.
  protocol::JsonText close() {
    writer_.raw('}');
    return protocol::JsonText{std::string_view(buffer_.data(), writer_.size())};
  }

 private:
  void name(std::string_view name) {
    if (!first_) writer_.raw(',');
    first_ = false;
    writer_.name(name);
  }

  std::string& buffer_;
  json::CompactWriter writer_;
  bool first_ = true;
};

// Kept from one status request to the next: once they have grown, a status
// request allocates nothing. The reply refers to `text` until it is written,
// which is before the next request is read.
struct StatusBuffers {
  std::string path;
  std::string text;
  std::string message;
};

StatusBuffers& buffers() {
  thread_local StatusBuffers kept;
  return kept;
}

void write_failure(ResultText& result, const discovery::DescriptorFailure& failure, StatusBuffers& kept) {
  if (std::holds_alternative<discovery::DescriptorMissing>(failure)) {
    result.string("descriptorPath", kept.path);
    result.raw(missing_descriptor_members());
    return;
  }
  if (discovery::descriptor_failure_names_path(failure)) result.string("descriptorPath", kept.path);
  result.error(discovery::descriptor_failure_error(failure, kept.message));
  result.raw(kVersionMembers);
  result.string("runtime", discovery::descriptor_failure_state(failure));
}

// Probes the runtime the descriptor names.
void write_probe(ResultText& result, const discovery::RuntimeConnectionDescriptor& record, std::string_view path) {
  auto probe = bridge::query_runtime_status(record.ws_url);
  result.string("descriptorPath", path);
  if (!probe) {
    const protocol::HostError error = bridge::runtime_error_to_host_error(probe.error());
    result.error(protocol::HostErrorView{error.code, error.message});
  }
  result.raw(kVersionMembers);
  result.string("runtime", probe ? "connected" : "unreachable");
  result.number("runtimePid", record.pid);
  const bool reported = probe && *probe;
  result.string("runtimeVersion", reported ? std::string_view(**probe) : std::string_view(record.runtime_version));
  result.number("updatedAt", record.updated_at);
}

}  // namespace

protocol::Reply handle_status(const protocol::RequestView& request) {
  StatusBuffers& kept = buffers();
  auto descriptor = discovery::load_runtime_descriptor(kept.path);
  ResultText result(kept.text);
  if (descriptor) {
    write_probe(result, *descriptor, kept.path);
  } else {
    write_failure(result, descriptor.error(), kept);
  }
  return protocol::Reply::response(request.id, request.method, result.close());
}

}  // namespace orvix::dispatch
