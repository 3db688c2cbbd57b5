#include "protocol/replies.h"

namespace orvix::protocol {

void write_host_error(json::CompactWriter& writer, HostErrorView error) {
  writer.raw(R"({"code":)");
  writer.string(error.code);
  writer.raw(R"(,"message":)");
  writer.string(error.message);
  writer.raw('}');
}

namespace {
// ,"method":"<name>" and what follows it: the piece composed at build time
// for a served name, else the name scanned for escapes.
void write_method_member(json::CompactWriter& writer, const MethodName& method, std::string_view composed,
                         std::string_view after) {
  if (!composed.empty()) return writer.raw(composed);
  writer.raw(R"(,"method":)");
  writer.string(method.text);
  writer.raw(after);
}
}  // namespace

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
  if (error != nullptr) {
    write_method_member(writer, method_, method_.error_member, R"(,"type":"error"})");
    return;
  }
  write_method_member(writer, method_, method_.response_member, R"(,"result":)");
  if (const auto* text = std::get_if<JsonText>(&body_)) {
    writer.raw(text->text);
  } else if (const auto* result = std::get_if<ResultWriter>(&body_)) {
    result->write(writer, result->context);
  } else {
    writer.value(std::get<json::Value>(body_));
  }
  writer.raw(R"(,"type":"response"})");
}

}  // namespace orvix::protocol
