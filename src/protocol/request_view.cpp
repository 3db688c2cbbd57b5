#include "protocol/request_view.h"

namespace orvix::protocol {

RequestView view_request(json::Value& request) {
  RequestView view;
  json::Object* object = request.if_object();
  if (object == nullptr) return view;
  // One pass over the members (the parser has kept one of each name) costs
  // less than a lookup per name for an envelope of a few members.
  const json::Value* method = nullptr;
  const json::Value* type = nullptr;
  for (auto& member : *object) {
    const std::string_view name = member.key();
    if (name == "id") {
      view.id = &member.value();
    } else if (name == "method") {
      method = &member.value();
    } else if (name == "type") {
      type = &member.value();
    } else if (name == "params") {
      view.params = member.value().if_object();
    }
  }
  const json::Value* name = method != nullptr && method->is_string() ? method : type;
  if (name != nullptr && name->is_string()) {
    const json::String& text = name->get_string();
    view.method = std::string_view(text.data(), text.size());
  }
  return view;
}

}  // namespace orvix::protocol
