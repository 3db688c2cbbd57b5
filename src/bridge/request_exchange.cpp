#include "bridge/request_exchange.h"

#include "bridge/runtime_exchange.h"
#include "json/lookup.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace orvix::bridge {

std::string make_request_id() {
  return "native-host-" + std::to_string(platform::current_process_id()) + "-" +
         std::to_string(platform::unix_time_ms());
}

boost::system::result<std::optional<std::string>, RuntimeError> query_runtime_status(std::string_view ws_url) {
  const std::string request_id = make_request_id();
  json::Object probe;
  probe["requestId"] = request_id;
  probe["type"] = "runtime.get";

  auto response = runtime_exchange(ws_url, std::move(probe), request_id);
  if (!response) return response.error();

  const std::optional<std::string_view> type = json::string_at(*response, {"type"});
  if (type != "runtime.status") {
    return RuntimeError{RuntimeErrorCode::response_invalid, std::string(kUnexpectedResponseType)};
  }
  const std::optional<std::string_view> version = json::string_at(*response, {"payload", "build", "version"});
  if (!version) return std::optional<std::string>();
  return std::optional<std::string>(std::string(*version));
}

boost::system::result<json::Value, RuntimeError> forward_runtime_request(std::string_view ws_url,
                                                                         json::Value message) {
  json::Object* object = message.if_object();
  if (object == nullptr) return RuntimeError{RuntimeErrorCode::request_invalid, std::string(kPayloadNotObject)};

  std::string request_id;
  if (const json::Value* given = object->if_contains("requestId")) {
    if (!given->is_string() || given->get_string().empty()) {
      return RuntimeError{RuntimeErrorCode::request_invalid, std::string(kRequestIdNotNonEmptyString)};
    }
    request_id = std::string(given->get_string());
  } else {
    request_id = make_request_id();
    (*object)["requestId"] = request_id;
  }
  return runtime_exchange(ws_url, std::move(message), request_id);
}

}  // namespace orvix::bridge
