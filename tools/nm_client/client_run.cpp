#include "client_run.h"

#include <istream>
#include <ostream>
#include <variant>

#include "support/child_process.h"
#include "support/frame_link.h"

namespace orvix::nm_client {

namespace {

using client::BrokenFrame;
using client::HostClosed;
using client::receive_frame;
using client::send_frame;

bool is_blank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// Sends each request and prints its reply. Returns false once the host's
// output is at fault or the host stops taking requests.
bool relay(support::ChildProcess& host, std::istream& requests, std::ostream& replies, std::ostream& diagnostics) {
  std::string line;
  for (std::size_t line_number = 1; std::getline(requests, line); ++line_number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (is_blank(line)) continue;

    if (auto sent = send_frame(host, line); !sent) {
      diagnostics << "nm-client: cannot send line " << line_number << " to the host: " << sent.error().text << "\n";
      return false;
    }
    auto reply = receive_frame(host);
    if (!reply) {
      diagnostics << "nm-client: cannot read the host's reply to line " << line_number << ": " << reply.error().text
                  << "\n";
      return false;
    }
    if (std::holds_alternative<HostClosed>(*reply)) {
      diagnostics << "nm-client: host closed its output without replying to line " << line_number << "\n";
      return false;
    }
    if (auto* broken = std::get_if<BrokenFrame>(&*reply)) {
      diagnostics << "nm-client: " << broken->text << "\n";
      return false;
    }
    replies << std::get<std::string>(*reply) << "\n" << std::flush;
  }
  return true;
}

}  // namespace

int run_client(const std::vector<std::string>& host_command, std::istream& requests, std::ostream& replies,
               std::ostream& diagnostics) {
  support::ChildOptions options;
  options.argv = host_command;
  auto spawned = support::ChildProcess::spawn(options);
  if (!spawned) {
    diagnostics << "nm-client: cannot start " << host_command.front() << ": " << spawned.error().text << "\n";
    return 127;
  }
  support::ChildProcess& host = *spawned;

  bool output_sound = relay(host, requests, replies, diagnostics);
  host.close_stdin();
  if (output_sound) {
    // The host answers requests only; anything after the last reply is a fault.
    auto rest = host.read_stdout_to_end();
    if (!rest) {
      diagnostics << "nm-client: cannot read the host's output: " << rest.error().text << "\n";
      output_sound = false;
    } else if (!rest->empty()) {
      diagnostics << "nm-client: host wrote " << rest->size() << " bytes after its last reply\n";
      output_sound = false;
    }
  }
  // A host still writing into a pipe nobody reads would never exit.
  host.close_stdout();

  auto status = host.wait();
  if (!status) {
    diagnostics << "nm-client: cannot wait for the host: " << status.error().text << "\n";
    return 1;
  }
  if (!output_sound && status->success()) return 1;
  return status->as_shell_status();
}

}  // namespace orvix::nm_client
