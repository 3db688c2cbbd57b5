#include "host/host_main.h"

#include <optional>
#include <string>
#include <variant>

#include "dispatch/dispatcher.h"
#include "host/native_channel.h"
#include "host/standard_streams.h"
#include "platform/std_streams.h"

namespace orvix::host {

namespace {
constexpr const char* kStarted = "Orvix Chrome native host started.\n";
constexpr const char* kStopped = "Orvix Chrome native host stopped.\n";
constexpr const char* kExitedWithError = "Orvix Chrome native host exited with error: ";

// Reads, dispatches and answers until the input ends (nothing returned) or
// the channel fails (its error returned).
std::optional<ChannelError> serve(NativeChannel& channel) {
  for (;;) {
    ReadOutcome outcome = channel.read_message();
    if (std::holds_alternative<EndOfInput>(outcome)) return std::nullopt;
    if (auto* error = std::get_if<ChannelError>(&outcome)) return std::move(*error);
    // The reply refers to the request, which lives until the next read.
    json::Value& request = std::get<json::Value>(outcome);
    const protocol::Reply reply = dispatch::dispatch_request(request);
    if (auto written = channel.write_message(reply); !written) return written.error();
  }
}
}  // namespace

int run_host() {
  platform::write_standard_error(kStarted);
  const platform::ChannelHandles handles = platform::guard_standard_streams();
  StreamSource input(handles.input);
  StreamSink output(handles.output);
  NativeChannel channel(input, output);

  std::optional<ChannelError> failure = serve(channel);
  if (!failure) {
    platform::write_standard_error(kStopped);
    return 0;
  }
  channel.release_output();
  platform::close_stream(handles.output);
  platform::write_standard_error(std::string(kExitedWithError) + failure->text + "\n");
  return 0;
}

}  // namespace orvix::host
