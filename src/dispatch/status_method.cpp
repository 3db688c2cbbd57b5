#include "dispatch/status_method.h"

#include "bridge/runtime_error.h"
#include "bridge/runtime_exchange.h"
#include "discovery/runtime_descriptor.h"
#include "json/serialize.h"
#include "protocol/fixed_text.h"

namespace orvix::dispatch {

const char* const kHostVersion = ORVIX_VERSION;

namespace {

// The members every status result carries, between "error" and "runtime",
// as one piece of text: the version is known when the host is built.
constexpr std::string_view kVersionMembers =
    "\"nativeHost\":\"connected\",\"nativeHostVersion\":\"" ORVIX_VERSION "\",\"protocolVersion\":1";
static_assert(kHostProtocolVersion == 1, "kVersionMembers spells the protocol version out");

// The two commonest failures (no descriptor, no home) say nothing variable
// but the path: everything after it is one piece of text fixed at build
// time, every name and text in it proved to need no escape.
using protocol::Joined;
using protocol::Quoted;
constexpr std::string_view kPathMember = R"({"descriptorPath":)";
constexpr std::string_view kFirstErrorMember = R"({"error":)";
constexpr std::string_view kErrorMember = R"(,"error":)";
constexpr std::string_view kCodeMember = R"({"code":)";
constexpr std::string_view kMessageMember = R"(,"message":)";
constexpr std::string_view kComma = ",";
constexpr std::string_view kRuntimeMember = R"(,"runtime":)";
constexpr std::string_view kClose = "}";

template <const std::string_view& Code, const std::string_view& Message>
constexpr std::string_view kErrorText =
    Joined<kCodeMember, Quoted<Code>::text, kMessageMember, Quoted<Message>::text, kClose>::text;

// After {"descriptorPath":"<path>" when the descriptor is missing.
constexpr std::string_view kMissingTail =
    Joined<kErrorMember, kErrorText<discovery::kMissingCode, discovery::kMissingMessage>, kComma, kVersionMembers,
           kRuntimeMember, Quoted<discovery::kStateNotRunning>::text, kClose>::text;
// The whole result when no home is known.
constexpr std::string_view kHomeUnresolvedResult =
    Joined<kFirstErrorMember, kErrorText<discovery::kHomeUnresolvedCode, discovery::kHomeUnresolvedMessage>, kComma,
           kVersionMembers, kRuntimeMember, Quoted<discovery::kStateNotRunning>::text, kClose>::text;

// The result's text is written member by member, in ascending order of the
// names, without building a value first: a status request is the browser's
// most frequent one. Fixed names and values go in as raw text; only what
// comes from outside (paths, messages) is scanned for escapes.
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
  void error(protocol::HostErrorView error) {
    name("error");
    protocol::write_host_error(writer_, error);
  }
  void versions() {
    separate();
    writer_.raw(kVersionMembers);
  }

 private:
  void separate() {
    if (!first_) writer_.raw(',');
    first_ = false;
  }
  void name(std::string_view name) {
    separate();
    writer_.name(name);
  }

  json::CompactWriter writer_;
  bool first_ = true;
};

// The result for a descriptor that is missing at `path` (a std::string).
void write_missing_result(json::CompactWriter& writer, const void* path) {
  writer.raw(kPathMember);
  writer.string(*static_cast<const std::string*>(path));
  writer.raw(kMissingTail);
}

// Kept from one status request to the next: once they have grown, a status
// request allocates nothing. The reply refers to `path` or `text` until it
// is written, which is before the next request is read.
struct StatusBuffers {
  std::string path;
  std::string text;
  std::string message;
};

StatusBuffers& buffers() {
  thread_local StatusBuffers kept;
  return kept;
}

}  // namespace

protocol::Reply handle_status(const protocol::RequestView& request) {
  StatusBuffers& kept = buffers();
  std::string& text = kept.text;
  text.clear();
  auto descriptor = discovery::load_runtime_descriptor(kept.path);
  if (!descriptor) {
    const discovery::DescriptorFailure& failure = descriptor.error();
    if (std::holds_alternative<discovery::DescriptorMissing>(failure)) {
      return protocol::Reply::response(request.id, request.method,
                                       protocol::ResultWriter{write_missing_result, &kept.path});
    }
    if (std::holds_alternative<discovery::DescriptorHomeUnresolved>(failure)) {
      return protocol::Reply::response(request.id, request.method, protocol::JsonText{kHomeUnresolvedResult});
    }
    {
      ResultText result(text);
      if (discovery::descriptor_failure_names_path(failure)) result.string("descriptorPath", kept.path);
      result.error(discovery::descriptor_failure_error(failure, kept.message));
      result.versions();
      result.string("runtime", discovery::descriptor_failure_state(failure));
    }
    return protocol::Reply::response(request.id, request.method, protocol::JsonText{text});
  }

  const discovery::RuntimeConnectionDescriptor& record = *descriptor;
  auto probe = bridge::query_runtime_status(record.ws_url);
  {
    ResultText result(text);
    result.string("descriptorPath", kept.path);
    if (!probe) {
      const protocol::HostError error = bridge::runtime_error_to_host_error(probe.error());
      result.error(protocol::HostErrorView{error.code, error.message});
    }
    result.versions();
    result.string("runtime", probe ? "connected" : "unreachable");
    result.number("runtimePid", record.pid);
    const bool reported = probe && *probe;
    result.string("runtimeVersion", reported ? std::string_view(**probe) : std::string_view(record.runtime_version));
    result.number("updatedAt", record.updated_at);
  }
  return protocol::Reply::response(request.id, request.method, protocol::JsonText{text});
}

}  // namespace orvix::dispatch
