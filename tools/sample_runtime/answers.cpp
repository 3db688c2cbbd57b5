#include "answers.h"

#include "json/lookup.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "json/value.h"

namespace orvix::sample_runtime {

namespace {

bool switch_is_on(const json::Value& request, std::string_view name) {
  const json::Value* flag = json::find_path(&request, {"payload", name});
  return flag != nullptr && flag->is_bool() && flag->get_bool();
}

json::Object status_answer(std::string_view version) {
  json::Object build;
  build["version"] = version;
  json::Object payload;
  payload["build"] = std::move(build);
  json::Object answer;
  answer["payload"] = std::move(payload);
  answer["type"] = "runtime.status";
  return answer;
}

json::Object echo_answer(const json::Value& request) {
  json::Object payload;
  payload["echo"] = request;
  if (switch_is_on(request, "wantCommand")) {
    json::Object command;
    command["name"] = "noop";
    payload["command"] = std::move(command);
  }
  json::Object answer;
  answer["payload"] = std::move(payload);
  if (auto type = json::string_at(request, {"type"})) {
    answer["type"] = std::string(*type) + ".result";
  } else {
    answer["type"] = "runtime.result";
  }
  return answer;
}

// The object among the noise carries an id made from the request's own, and
// longer, so that it can never be taken for the answer.
std::vector<OutgoingMessage> noise(std::string_view request_id) {
  json::Object other;
  other["payload"] = json::Object();
  other["requestId"] = "noise-for-" + std::string(request_id);
  other["type"] = "runtime.noise";
  return {OutgoingMessage{false, "sample runtime binary noise"}, OutgoingMessage{true, json::to_compact_string(other)},
          OutgoingMessage{true, "[\"sample runtime noise\"]"}};
}

}  // namespace

std::vector<OutgoingMessage> answer_message(std::string_view message, bool is_text, std::string_view version) {
  if (!is_text) return {};
  auto request = json::parse_json(message);
  if (!request) return {};
  auto request_id = json::string_at(*request, {"requestId"});
  if (!request_id) return {};

  json::Object answer;
  if (json::string_at(*request, {"type"}) == "runtime.get") {
    answer = status_answer(version);
  } else {
    answer = echo_answer(*request);
  }
  answer["requestId"] = *request_id;

  std::vector<OutgoingMessage> messages;
  if (switch_is_on(*request, "sendNoiseFirst")) messages = noise(*request_id);
  messages.push_back(OutgoingMessage{true, json::to_compact_string(answer)});
  return messages;
}

}  // namespace orvix::sample_runtime
