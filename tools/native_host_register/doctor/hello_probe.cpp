#include "hello_probe.h"

#include <variant>

#include "base/path.h"
#include "bridge/runtime_exchange.h"
#include "discovery/product_home.h"
#include "json/lookup.h"
#include "json/parse.h"
#include "platform/environment.h"
#include "platform/filesystem.h"
#include "support/child_process.h"
#include "support/frame_link.h"

namespace orvix::register_tool {

namespace {

Failure peer_failure(std::string text) { return Failure{Failure::Kind::kPeer, std::move(text)}; }

// How a read that ran out of time fails (child_process.h).
constexpr std::string_view kTimedOut = "timed out";

// Reads the reply of a hello request; a failure says what the host did
// instead. `printed` gets what the host wrote where a frame belonged.
Result<HelloReport> read_report(support::ChildProcess& host, std::chrono::milliseconds limit, std::string& printed) {
  auto reply = client::receive_frame(host, limit);
  if (!reply && reply.error().text == kTimedOut) return reply.error();
  if (!reply) return peer_failure("no reply from the host: " + reply.error().text);
  if (std::holds_alternative<client::HostClosed>(*reply)) return peer_failure("the host ended without replying");
  if (auto* broken = std::get_if<client::BrokenFrame>(&*reply)) {
    printed = broken->received;
    return peer_failure("the host's reply is broken: " + broken->text);
  }
  const std::string& body = std::get<std::string>(*reply);
  auto value = json::parse_json(body);
  if (!value) return peer_failure("the host's reply is not JSON: " + value.error().text);
  if (json::string_at(*value, {"type"}) != "response" || json::find_path(&*value, {"result"}) == nullptr) {
    return peer_failure("the host did not answer hello with a response: " + body);
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

// The sentence for people: what the host did, then what it wrote to stderr.
Failure probe_failure(std::string text, const std::string& host_stderr) {
  text += ".";
  if (!host_stderr.empty()) text += " Its stderr: " + host_stderr;
  while (text.back() == '\n') text.pop_back();
  return peer_failure(std::move(text));
}

// The host started as the browser starts it: in the host's folder ("/" or
// "C:\" for a host at the root, not "" or "C:"), with the origin as its
// argument. On Windows through the command interpreter, the line written out
// as the browser writes it: %COMSPEC% (else cmd.exe in the system folder)
// /d (no AutoRun commands) /s /c "<the host's command line>".
support::ChildOptions browser_launch(const std::string& host_path, const std::string& origin, bool windows) {
  support::ChildOptions options;
  options.working_directory = parent_path(host_path);
  if (options.working_directory.empty() || options.working_directory.back() == ':') {
    options.working_directory.push_back(windows ? '\\' : '/');
  }
  options.pipe_stderr = true;
  options.own_process_group = true;
  if (!windows) {
    options.argv = {host_path, origin};
    return options;
  }
  auto shell = platform::environment_variable("COMSPEC");
  if (!shell || shell->empty()) {
    shell = platform::environment_variable("SystemRoot").value_or("C:\\Windows") + "\\system32\\cmd.exe";
  }
  options.windows_command_line = *shell + " /d /s /c \"\"" + host_path + "\" " + origin + " --parent-window=0\"";
  return options;
}

// What the host printed where a frame belonged (a log line, a shell's
// error), for people: at most kShownBytes of it, printable ASCII as it is and
// every other byte (and the backslash) as \xNN.
constexpr std::size_t kShownBytes = 64;

std::string shown_bytes(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const char byte : bytes.substr(0, kShownBytes)) {
    const auto value = static_cast<unsigned char>(byte);
    if (value >= 0x20 && value < 0x7f && value != '\\') {
      text += byte;
    } else {
      text += {'\\', 'x', kHex[value >> 4], kHex[value & 0xf]};
    }
  }
  return text + (bytes.size() > kShownBytes ? "..." : "");
}

// How the host ended, for people.
std::string exit_text(const support::ExitStatus& status) {
  return status.signalled ? "it was ended by signal " + std::to_string(status.code)
                          : "it exited with status " + std::to_string(status.code);
}

// Why a host may not answer hello in time though it works: its hello asks
// the runtime first, when a descriptor names one, and waits on a runtime
// that takes the connection but does not answer for the connect and a read
// of the bridge's limits (more than the probe's).
std::string waits_on_runtime() {
  const auto descriptor = discovery::resolve_descriptor_path();
  if (!descriptor || !platform::path_exists(*descriptor)) return {};
  const bridge::ExchangeTimeouts host_waits;
  const double seconds = static_cast<double>((host_waits.connect + host_waits.socket_io).count()) / 1000;
  std::string limit = std::to_string(seconds);
  limit.erase(limit.find_last_not_of('0') + 1);
  if (limit.back() == '.') limit.pop_back();
  return "; its hello first asks the runtime that " + *descriptor + " names, and waits up to " + limit +
         " s on one that takes the connection but does not answer: if that runtime is running, it may be hanging";
}

// How the host's stderr is read once it has been ended: only a process it
// started outside its group (or job) can still hold it open.
constexpr std::chrono::milliseconds kAfterEnd{500};

std::string seconds_text(std::chrono::milliseconds limit) {
  const auto count = limit.count();
  return count % 1000 == 0 ? std::to_string(count / 1000) + " s" : std::to_string(count) + " ms";
}

}  // namespace

Result<HelloReport> probe_host(const std::string& host_path, const std::string& origin, bool windows,
                               std::chrono::milliseconds limit) {
  auto spawned = support::ChildProcess::spawn(browser_launch(host_path, origin, windows));
  if (!spawned) return probe_failure("the host could not be started: " + spawned.error().text, "");
  support::ChildProcess& host = *spawned;
  // Ends a host that missed a limit, with what it started, and says so
  // with what it wrote to stderr (readable to its end once it has gone).
  auto give_up = [&host](std::string text) {
    host.end();
    auto errors = host.read_stderr_to_end(kAfterEnd);
    return probe_failure(std::move(text) + "; doctor ended it and every process it started", errors ? *errors : "");
  };

  Result<HelloReport> report = peer_failure("the host took no request");
  std::string printed;
  bool taken = true;
  if (auto sent = client::send_frame(host, kHelloRequest); sent) {
    report = read_report(host, limit, printed);
  } else {
    // It closed its input, often by ending at once: all it printed is
    // still to be read below.
    taken = false;
    report = peer_failure("the host did not take the request: " + sent.error().text);
  }
  if (!report && report.error().text == kTimedOut) {
    // What the browser sees is a host that never answers: waiting for it to
    // end as well would only double the wait.
    return give_up("no reply from the host within " + seconds_text(limit) + waits_on_runtime());
  }

  // The browser closes the host's input when it is done; the host must end.
  host.close_stdin();
  auto rest = host.read_stdout_to_end(limit);
  if (!rest) {
    return give_up((report ? std::string() : report.error().text + ", and ") + "the host did not end within " +
                   seconds_text(limit) + " after its input closed");
  }
  auto errors = host.read_stderr_to_end(limit);
  const std::string stderr_text = errors ? *errors : std::string();
  auto status = host.wait();
  if (!report) {
    // What it printed and how it ended tell a host that is no host (a
    // script's error) from one that broke.
    std::string text = report.error().text;
    if (!printed.empty() || (!taken && !rest->empty())) text += "; it printed \"" + shown_bytes(printed + *rest) + "\"";
    if (status) text += "; " + exit_text(*status);
    return probe_failure(std::move(text), stderr_text);
  }
  if (!status || !status->success()) {
    return probe_failure("the host answered but then exited with status " +
                             (status ? std::to_string(status->as_shell_status()) : status.error().text),
                         stderr_text);
  }
  return report;
}

}  // namespace orvix::register_tool
