// Starting the host the way a browser does and asking it "hello".
//
// The host is started from `host_path` with the caller's origin as its only
// argument (on Windows also "--parent-window=0", as the browser adds), gets
// {"id":1,"method":"hello"} as one frame on its stdin and must answer with
// one frame within `limit`; then its input is closed and it must end within
// `limit` too. A host still running then is killed. Blocks for at most about
// three times `limit`.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include <boost/system/result.hpp>

namespace orvix::register_tool {

// What the host said about itself and the runtime.
struct HelloReport {
  std::string host_version;
  std::string runtime;                         // "connected", "not_running", ...
  std::optional<std::string> descriptor_path;  // where it looked for the runtime
  std::optional<std::string> error;            // "<code>: <message>" when the runtime is not usable
  std::string host_stderr;
};

struct ProbeFailure {
  std::string text;  // one sentence for people
  std::string host_stderr;
};

[[nodiscard]] boost::system::result<HelloReport, ProbeFailure> probe_host(const std::string& host_path,
                                                                         const std::string& origin, bool windows,
                                                                         std::chrono::milliseconds limit);

}  // namespace orvix::register_tool
