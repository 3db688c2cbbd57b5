#include "hello_probe.h"

#include <variant>

#include "client/frame_link.h"
#include "json/lookup.h"
#include "json/parse.h"
#include "platform/child_process.h"

namespace orvix::register_tool {

namespace {

constexpr std::string_view kHelloRequest = R"({"id":1,"method":"hello"})";

// Reads the reply of a hello request; a failure says what the host did instead.
boost::system::result<HelloReport, ProbeFailure> read_report(platform::ChildProcess& host,
                                                            std::chrono::milliseconds limit) {
  auto reply = client::receive_frame(host, limit);
  if (!reply) return ProbeFailure{"no reply from the host: " + reply.error().text, ""};
  if (std::holds_alternative<client::HostClosed>(*reply)) return ProbeFailure{std::string("the host ended without replying"), ""};
  if (auto* broken = std::get_if<client::BrokenFrame>(&*reply)) return ProbeFailure{"the host's reply is broken: " + broken->text, ""};

  const std::string& body = std::get<std::string>(*reply);
  auto value = json::parse_json(body);
  if (!value) return ProbeFailure{"the host's reply is not JSON: " + value.error().text, ""};
  if (json::string_at(*value, {"type"}) != "response" || json::find_path(&*value, {"result"}) == nullptr) {
    return ProbeFailure{"the host did not answer hello with a response: " + body, ""};
  }
  HelloReport report;
  report.host_version = std::string(json::string_at(*value, {"result", "nativeHostVersion"}).value_or(""));
  report.runtime = std::string(json::string_at(*value, {"result", "runtime"}).value_or("unknown"));
  if (auto path = json::string_at(*value, {"result", "descriptorPath"})) report.descriptor_path = std::string(*path);
  auto code = json::string_at(*value, {"result", "error", "code"});
  auto message = json::string_at(*value, {"result", "error", "message"});
  if (code || message) report.error = std::string(code.value_or("")) + ": " + std::string(message.value_or(""));
  return report;
}

}  // namespace

boost::system::result<HelloReport, ProbeFailure> probe_host(const std::string& host_path, const std::string& origin,
                                                            bool windows, std::chrono::milliseconds limit) {
  platform::ChildOptions options;
  options.argv = {host_path, origin};
  if (windows) options.argv.push_back("--parent-window=0");
  options.pipe_stderr = true;
  auto spawned = platform::ChildProcess::spawn(options);
  if (!spawned) return ProbeFailure{"the host could not be started: " + spawned.error().text, ""};
  platform::ChildProcess& host = *spawned;

  boost::system::result<HelloReport, ProbeFailure> report = ProbeFailure{"the host took no request", ""};
  if (auto sent = client::send_frame(host, kHelloRequest); sent) {
    report = read_report(host, limit);
  } else {
    report = ProbeFailure{"the host did not take the request: " + sent.error().text, ""};
  }

  // The browser closes the host's input when it is done; the host must end.
  host.close_stdin();
  auto rest = host.read_stdout_to_end(limit);
  auto errors = host.read_stderr_to_end(limit);
  std::string stderr_text = errors ? *errors : std::string();
  if (!rest) {
    // Dropping the handle kills a host that would not end.
    return ProbeFailure{"the host did not end after its input closed: " + rest.error().text, stderr_text};
  }
  auto status = host.wait();
  if (!report) return ProbeFailure{report.error().text, stderr_text};
  if (!status || !status->success()) {
    return ProbeFailure{"the host answered but then exited with status " +
                            (status ? std::to_string(status->as_shell_status()) : status.error().text),
                        stderr_text};
  }
  report->host_stderr = stderr_text;
  return std::move(*report);
}

}  // namespace orvix::register_tool
