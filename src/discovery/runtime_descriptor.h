// Loading the runtime connection descriptor, afresh at every call.
//
// Steps, first failure wins: resolve the path (home unresolved); open it
// without waiting on what is there (descriptor missing when the open finds
// no such entry, or fails where not even the entry's metadata can be had:
// an unsearchable directory on the way, a name too long); read it whole as
// UTF-8 text (read failed: the system's text, "not a regular file" for a
// pipe, socket or device, which is never read, "descriptor is larger than
// 1048576 bytes", past which nothing is read, or "stream did not contain
// valid UTF-8"); parse it (invalid: the reader's description); require
// protocol version 1 (protocol unsupported). Nothing is cached, created or
// written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/result.h"
#include "discovery/descriptor_text.h"
#include "protocol/host_error.h"

namespace orvix::discovery {

inline constexpr std::uint32_t kSupportedDescriptorProtocol = 1;
// A real descriptor is about 200 bytes; this keeps a hostile one from
// costing more than a frame's worth of memory.
inline constexpr std::size_t kMaxDescriptorSize = 1048576;
inline constexpr std::string_view kNotRegularText = "not a regular file";

// The texts of the failures whose error says nothing variable, and the
// runtime states a failure stands for.
inline constexpr std::string_view kMissingCode = "runtime_descriptor_missing";
inline constexpr std::string_view kMissingMessage = "Runtime connection descriptor was not found.";
inline constexpr std::string_view kHomeUnresolvedCode = "orvix_home_unresolved";
inline constexpr std::string_view kHomeUnresolvedMessage = "ORVIX_HOME could not be resolved.";
inline constexpr std::string_view kStateNotRunning = "not_running";
inline constexpr std::string_view kStateUnreachable = "unreachable";
inline constexpr std::string_view kStateVersionMismatch = "version_mismatch";

struct LoadedDescriptor {
  std::string path;
  RuntimeConnectionDescriptor record;
};

// The path a failure is about is the one the loader wrote into the caller's
// buffer (see descriptor_failure_names_path()).
struct DescriptorMissing {};
struct DescriptorHomeUnresolved {};
struct DescriptorReadFailed {
  std::string text;
};
struct DescriptorInvalid {
  std::string text;
};
struct DescriptorProtocolUnsupported {
  std::uint32_t version;
};

using DescriptorFailure = std::variant<DescriptorMissing, DescriptorHomeUnresolved, DescriptorReadFailed,
                                       DescriptorInvalid, DescriptorProtocolUnsupported>;

// Resolves the path into `path`, a buffer the caller keeps (it keeps its
// capacity, so a status request resolves the path without allocating), and
// loads the descriptor there.
[[nodiscard]] Result<RuntimeConnectionDescriptor, DescriptorFailure> load_runtime_descriptor(std::string& path);

// The same, with a path of its own.
[[nodiscard]] Result<LoadedDescriptor, DescriptorFailure> load_runtime_descriptor();

// The error's code and message; a message that must be composed is built in
// `scratch`, the fixed ones refer to static text.
protocol::HostErrorView descriptor_failure_error(const DescriptorFailure& failure, std::string& scratch);
protocol::HostError descriptor_failure_error(const DescriptorFailure& failure);

// "not_running", "unreachable" or "version_mismatch".
std::string_view descriptor_failure_state(const DescriptorFailure& failure);

// Whether the failure is about the resolved path (missing, read failed,
// invalid), so that the path belongs in a report of it.
bool descriptor_failure_names_path(const DescriptorFailure& failure);

}  // namespace orvix::discovery
