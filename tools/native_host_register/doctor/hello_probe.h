// Asking a registered host "hello" the way a browser starts it, so doctor
// sees what the browser would see.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::register_tool {

// What the host said about itself and the runtime.
struct HelloReport {
  std::string host_version;
  std::string runtime;                         // "connected", "not_running", ...
  std::optional<std::string> descriptor_path;  // where it looked for the runtime
  std::optional<std::string> error;            // "<code>: <message>" when the runtime is not usable
};

// What doctor asks the host, and fix lines tell the user to ask it.
inline constexpr std::string_view kHelloRequest = R"({"id":1,"method":"hello"})";

// Starts the host at `host_path` as the browser does: in the host's folder,
// with `origin` as its only argument; on Windows through
// `%COMSPEC% /d /s /c ""<host path>" <origin> --parent-window=0"`. Sends
// kHelloRequest as one frame and reads the one reply frame within `limit`;
// then closes the host's input, after which it must end within `limit` too.
// A host that misses either limit is ended with every process it started
// (its process group on POSIX, its job on Windows: a host that is a script
// may have started the real program), and the failure says so, naming the
// limit; one that missed the reply's limit while a runtime descriptor
// exists is said to wait, maybe, on that runtime (a host's hello waits
// longer on a hanging runtime than doctor does). Fails with one sentence of
// what the host did instead (with the first bytes it printed when they were
// no frame, and its exit status or signal when it ended), followed by
// " Its stderr: ..." when it wrote any. Blocks for at most about twice
// `limit`.
[[nodiscard]] Result<HelloReport> probe_host(const std::string& host_path, const std::string& origin, bool windows,
                                             std::chrono::milliseconds limit);

}  // namespace orvix::register_tool
