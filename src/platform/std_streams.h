// The process's standard streams, as raw handles for the native channel.
//
// guard_standard_streams() is called once at start, before anything is
// written. It makes a closed output pipe (standard error included) a write
// error instead of a signal that ends the process, keeps a private duplicate
// of standard output for frames and points the standard output descriptor at
// standard error, so that a stray write by any library lands on stderr and
// can never corrupt a frame. A missing stdin or stderr is filled with the
// null device, so no file or socket opened later takes its number. When a
// step fails it returns the system's error and nothing may be written to
// standard output: it may still lead to the frame pipe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::platform {

using StreamHandle = std::intptr_t;

struct ChannelHandles {
  StreamHandle input;   // standard input
  StreamHandle output;  // the private duplicate of standard output; when there is
                        // none, an invalid handle on which the first write fails
};

[[nodiscard]] Result<ChannelHandles, OsError> guard_standard_streams();

// Reads up to `size` bytes; 0 means end of input. End-of-file and a broken
// pipe both read as 0 bytes. Interrupted reads are repeated. Blocks until at
// least one byte or the end arrives.
[[nodiscard]] Result<std::size_t, OsError> read_stream(StreamHandle handle, char* buffer, std::size_t size);

// Writes all `size` bytes, repeating partial and interrupted writes; a write
// that takes nothing is a failure, never retried. On failure `written` tells
// how many bytes went out before it.
[[nodiscard]] Result<void, OsError> write_stream(StreamHandle handle, const char* data, std::size_t size,
                                                 std::size_t& written);

// Pushes what the system buffers for `handle` on to its destination (a no-op
// for pipes on POSIX).
[[nodiscard]] Result<void, OsError> flush_stream(StreamHandle handle);

// Writes one line to standard error without buffering; failures (no standard
// error at all, a closed pipe) are ignored.
void write_standard_error(std::string_view text);

// Closes a handle that guard_standard_streams() returned.
void close_stream(StreamHandle handle);

}  // namespace orvix::platform
