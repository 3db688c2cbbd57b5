// The real host binary as the browser drives it: one long-lived process, one
// request frame written to its stdin, one reply frame read from its stdout.
//
// start() spawns the host (its environment is this process's, so ORVIX_HOME
// carries over) and fails with the platform's text. turn() sends `body` as a
// frame and returns the reply body; it fails with a text when the pipe breaks,
// the host closes its stdout, or no reply arrives within 30 s. Destroying the
// object closes the pipes and ends the host.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "base/result.h"
#include "host/native_frame.h"
#include "support/child_process.h"

namespace orvix::bench {

class HostOverPipes {
 public:
  [[nodiscard]] static orvix::Result<HostOverPipes, std::string> start(const std::string& host_path) {
    support::ChildOptions options;
    options.argv = {host_path};
    auto child = support::ChildProcess::spawn(options);
    if (!child) return "cannot start " + host_path + ": " + child.error().text;
    return HostOverPipes(std::move(*child));
  }

  [[nodiscard]] orvix::Result<std::string, std::string> turn(std::string_view body) {
    unsigned char length[host::kLengthSize];
    host::encode_length(static_cast<std::uint32_t>(body.size()), length);
    frame_.assign(reinterpret_cast<const char*>(length), host::kLengthSize);
    frame_.append(body);
    if (auto written = child_.write_all(frame_); !written) return failure("write: " + written.error().text);

    char header[host::kLengthSize];
    auto got = child_.read_exact(header, kReplyTimeout);
    if (!got) return failure("read: " + got.error().text);
    if (*got != host::kLengthSize) return failure("the host closed its stdout");
    std::string reply(host::decode_length(reinterpret_cast<const unsigned char*>(header)), '\0');
    got = child_.read_exact(reply, kReplyTimeout);
    if (!got) return failure("read: " + got.error().text);
    if (*got != reply.size()) return failure("the host closed its stdout mid-frame");
    return {boost::system::in_place_value, std::move(reply)};
  }

 private:
  static constexpr std::chrono::milliseconds kReplyTimeout{30000};

  static orvix::Result<std::string, std::string> failure(std::string text) {
    return {boost::system::in_place_error, std::move(text)};
  }

  explicit HostOverPipes(support::ChildProcess child) : child_(std::move(child)) {}

  support::ChildProcess child_;
  std::string frame_;
};

}  // namespace orvix::bench
