#include "protocol/replies.h"

namespace orvix::protocol {

void write_host_error(json::CompactWriter& writer, HostErrorView error) {
  writer.raw(R"({"code":)");
  writer.string(error.code);
  writer.raw(R"(,"message":)");
  writer.string(error.message);
  writer.raw('}');
}

void Reply::write(std::string& out) const {
  json::CompactWriter writer(out);
  write(writer);
}

void Reply::write(json::CompactWriter& writer) const {
  const auto* error = std::get_if<HostError>(&body_);
  if (error != nullptr) {
    writer.raw(R"({"error":)");
    write_host_error(writer, HostErrorView{error->code, error->message});
    writer.raw(R"(,"id":)");
  } else {
    writer.raw(R"({"id":)");
  }
  if (id_ != nullptr) {
    writer.value(*id_);
  } else {
    writer.raw("null");
  }
  writer.raw(R"(,"method":)");
  writer.string(method_);
  if (error != nullptr) return writer.raw(R"(,"type":"error"})");
  writer.raw(R"(,"result":)");
  if (const auto* text = std::get_if<JsonText>(&body_)) {
    writer.raw(text->text);
  } else {
    writer.value(std::get<json::Value>(body_));
  }
  writer.raw(R"(,"type":"response"})");
}

}  // namespace orvix::protocol
