// The one loop that hands bytes to a POSIX descriptor, shared by the standard
// streams and files of this platform and by the posix half of tools/support
// (replaced files, pipes to child processes). For POSIX-only code: nothing
// shared by both systems includes it.
//
// Repeats partial and interrupted writes until every byte is taken. A write
// that takes nothing although bytes remain fails with EIO rather than being
// retried, so a descriptor that accepts nothing can never hold a caller in a
// loop. `written` tells how many bytes went out, also on failure. Blocks
// as long as the descriptor makes each write wait.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <string_view>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::platform::posix {

// One write attempt: ::write, or a variant of it (same contract, errno set).
using WriteOnce = ssize_t (*)(int fd, const void* data, std::size_t size);

[[nodiscard]] Result<void, OsError> write_all(int fd, std::string_view bytes, std::size_t& written,
                                              WriteOnce write_once = &::write);

}  // namespace orvix::platform::posix
