#include "dispatch/forward_method.h"

#include "bridge/runtime_error.h"
#include "bridge/runtime_exchange.h"
#include "discovery/runtime_descriptor.h"
#include "dispatch/event_log.h"
#include "json/lookup.h"
#include "protocol/replies.h"

namespace orvix::dispatch {

namespace {

constexpr std::string_view kPoll = "browser.native.poll";
constexpr std::string_view kComplete = "browser.native.complete";

void log_forwarded_message(const json::Value& request) {
  const std::string_view type = json::string_at(request, {"params", "message", "type"}).value_or("unknown");
  if (type != kPoll) log_event("runtime.request", type);
  if (type == kComplete) {
    const json::Value* ok = json::find_path(&request, {"params", "message", "payload", "ok"});
    const char* summary = ok != nullptr && ok->is_bool() ? (ok->get_bool() ? "ok=true" : "ok=false") : "ok=unknown";
    log_event("runtime.request.summary", summary);
  }
}

void log_response(const json::Value& response) {
  const json::Value* command = json::find_path(&response, {"payload", "command"});
  if (command == nullptr || !command->is_object()) return;
  log_event("runtime.response", json::string_at(response, {"type"}).value_or("unknown"));
}

// params.message, moved out of the request rather than copied (it may be
// 1 MiB); null when the request has none.
json::Value take_message(json::Value& request) {
  json::Object* object = request.if_object();
  json::Value* params = object != nullptr ? object->if_contains("params") : nullptr;
  json::Object* params_object = params != nullptr ? params->if_object() : nullptr;
  json::Value* message = params_object != nullptr ? params_object->if_contains("message") : nullptr;
  return message != nullptr ? std::move(*message) : json::Value(nullptr);
}

}  // namespace

protocol::Reply handle_runtime_request(const json::Value* id, std::string_view method, json::Value& request) {
  log_forwarded_message(request);

  json::Value message = take_message(request);

  auto descriptor = discovery::load_runtime_descriptor();
  if (!descriptor) {
    return protocol::Reply::error(id, method, discovery::descriptor_failure_error(descriptor.error()));
  }
  auto response = bridge::forward_runtime_request(descriptor->record.ws_url, std::move(message));
  if (!response) return protocol::Reply::error(id, method, bridge::runtime_error_to_host_error(response.error()));
  log_response(*response);
  return protocol::Reply::response(id, method, std::move(*response));
}

}  // namespace orvix::dispatch
