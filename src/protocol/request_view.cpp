#include "protocol/request_view.h"

#include "json/lookup.h"

namespace orvix::protocol {

RequestView view_request(json::Value& request) {
  RequestView view;
  json::Object* object = request.if_object();
  if (object == nullptr) return view;
  view.id = object->if_contains("id");
  if (auto method = json::as_string(object->if_contains("method"))) {
    view.method = *method;
  } else if (auto type = json::as_string(object->if_contains("type"))) {
    view.method = *type;
  }
  if (json::Value* params = object->if_contains("params")) view.params = params->if_object();
  return view;
}

}  // namespace orvix::protocol
