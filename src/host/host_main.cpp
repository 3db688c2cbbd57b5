#include "host/host_main.h"

#include <exception>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "dispatch/dispatcher.h"
#include "host/native_channel.h"
#include "host/standard_streams.h"
#include "platform/process.h"
#include "platform/std_streams.h"

namespace orvix::host {

namespace {
constexpr const char* kStarted = "Orvix Chrome native host started.\n";
constexpr const char* kStopped = "Orvix Chrome native host stopped.\n";
constexpr const char* kExitedWithError = "Orvix Chrome native host exited with error: ";
constexpr const char* kInternalError = "internal error: ";

// Reads, dispatches and answers until the input ends (nothing returned) or
// the channel fails (its error returned).
std::optional<Failure> serve(NativeChannel& channel) {
  for (;;) {
    ReadOutcome outcome = channel.read_native_message();
    if (std::holds_alternative<EndOfInput>(outcome)) return std::nullopt;
    if (auto* error = std::get_if<Failure>(&outcome)) return std::move(*error);
    // The reply refers to the request, which lives until the next read.
    json::Value& request = std::get<json::Value>(outcome);
    const protocol::Reply reply = dispatch::dispatch_request(request);
    if (auto written = channel.write_native_message(reply); !written) return written.error();
  }
}

// Writes "exited with error: " and the reason's pieces as one line. Never
// throws: it may run right after memory ran out, and a throw here would
// abort the process.
void announce_failure(std::initializer_list<std::string_view> reason) noexcept {
  try {
    std::string line(kExitedWithError);
    for (std::string_view piece : reason) line.append(piece);
    line.push_back('\n');
    platform::write_standard_error(line);
    return;
  } catch (...) {
  }
  try {
    // Not even one line's worth of memory: piece by piece, nothing built.
    platform::write_standard_error(kExitedWithError);
    for (std::string_view piece : reason) platform::write_standard_error(piece);
    platform::write_standard_error("\n");
  } catch (...) {
  }
}

// Serves on the guarded streams; after a channel failure, releases the
// output before returning the failure.
std::optional<Failure> serve_streams(const platform::ChannelHandles& handles) {
  StreamSource input(handles.input);
  StreamSink output(handles.output);
  NativeChannel channel(input, output);
  std::optional<Failure> failure = serve(channel);
  if (failure) {
    channel.release_output();
    platform::close_stream(handles.output);
  }
  return failure;
}

}  // namespace

int run_host() {
  platform::keep_freed_memory_for_reuse();
  // Guarded before the first write: with SIGPIPE still deadly, announcing on
  // a closed standard error would end the process.
  const auto handles = platform::guard_standard_streams();
  platform::write_standard_error(kStarted);
  if (!handles) {
    announce_failure({handles.error().text});
    return 0;
  }
  std::optional<Failure> failure;
  try {
    failure = serve_streams(*handles);
  } catch (const std::exception& escaped) {
    // Last resort for what escaped a request (memory running out above all):
    // the host ends as on a channel failure instead of aborting. Nothing of
    // a reply in progress is sent; every earlier reply was flushed whole.
    platform::close_stream(handles->output);
    announce_failure({kInternalError, escaped.what()});
    return 0;
  } catch (...) {
    platform::close_stream(handles->output);
    announce_failure({kInternalError, "unknown exception"});
    return 0;
  }
  if (failure) {
    announce_failure({failure->text});
  } else {
    platform::write_standard_error(kStopped);
  }
  return 0;
}

}  // namespace orvix::host
