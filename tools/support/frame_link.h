// One request frame out to a host started as a child process, one reply
// frame back: the client side of the native channel, for the frame client
// and the registration tool.
//
// Frames are laid out as in host/native_frame.h; a reply longer than
// host::kMaxBodySize is refused before its body is read. Both calls block
// until the host has taken or produced the bytes.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "base/result.h"
#include "support/child_process.h"

namespace orvix::client {

// The host ended its output cleanly between frames.
struct HostClosed {};

// The host's output is not a well-formed frame; `text` says how, for people.
struct BrokenFrame {
  std::string text;
  std::string received;  // the bytes read for it: the length prefix, and what came of the body
};

using Reply = std::variant<std::string, HostClosed, BrokenFrame>;

// Writes `body` as one frame. Fails when the host has closed its input (the
// pipe's failure, as ChildProcess reports it), or when the body is too long
// for the length prefix (4 GiB - 1 bytes; kInvalidInput).
[[nodiscard]] Result<void> send_frame(support::ChildProcess& host, std::string_view body);

// Reads one whole reply frame. Fails on a read error of the pipe, or when
// `timeout` (for each of the prefix and the body; none = no limit) passes
// before the bytes arrive (kPeer, "timed out").
[[nodiscard]] Result<Reply> receive_frame(support::ChildProcess& host, support::ReadTimeout timeout = std::nullopt);

}  // namespace orvix::client
