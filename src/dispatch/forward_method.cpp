#include "dispatch/forward_method.h"

#include "bridge/runtime_error.h"
#include "bridge/runtime_exchange.h"
#include "discovery/runtime_descriptor.h"
#include "dispatch/event_log.h"
#include "json/lookup.h"

namespace orvix::dispatch {

namespace {

constexpr std::string_view kPoll = "browser.native.poll";
constexpr std::string_view kComplete = "browser.native.complete";

void log_forwarded_message(const json::Value* message) {
  const std::string_view type = json::as_string(json::find_member(message, "type")).value_or("unknown");
  if (type != kPoll) log_event("runtime.request", type);
  if (type == kComplete) {
    const json::Value* ok = json::find_path(message, {"payload", "ok"});
    const char* summary = ok != nullptr && ok->is_bool() ? (ok->get_bool() ? "ok=true" : "ok=false") : "ok=unknown";
    log_event("runtime.request.summary", summary);
  }
}

void log_response(const json::Value& response) {
  const json::Value* command = json::find_path(&response, {"payload", "command"});
  if (command == nullptr || !command->is_object()) return;
  log_event("runtime.response", json::string_at(response, {"type"}).value_or("unknown"));
}

}  // namespace

protocol::Reply handle_runtime_request(const protocol::RequestView& request) {
  json::Value* message = request.params != nullptr ? request.params->if_contains("message") : nullptr;
  log_forwarded_message(message);

  auto descriptor = discovery::load_runtime_descriptor();
  if (!descriptor) {
    return protocol::Reply::error(request.id, request.method, discovery::descriptor_failure_error(descriptor.error()));
  }
  // Moved rather than copied: it may be 1 MiB. A request without one sends null.
  json::Value taken = message != nullptr ? std::move(*message) : json::Value(nullptr);
  auto response = bridge::forward_runtime_request(descriptor->record.ws_url, std::move(taken));
  if (!response) {
    return protocol::Reply::error(request.id, request.method, bridge::runtime_error_to_host_error(response.error()));
  }
  log_response(*response);
  return protocol::Reply::response(request.id, request.method, std::move(*response));
}

}  // namespace orvix::dispatch
