// Writing through a Win32 handle: the one write loop of the Windows platform
// files (standard streams, files, pipes to child processes). For Windows-only
// code: the win32 halves here and in tools/support, which writes files and
// pipes to child processes through the same loop; nothing shared by both
// systems includes it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::platform::win32 {

// The HANDLE behind an OwnedHandle's or a StreamHandle's number.
inline HANDLE as_handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Writes every byte of `bytes` (one WriteFile call for anything under 4 GiB),
// repeating partial writes; a write that takes nothing fails (ERROR_WRITE_FAULT)
// rather than being retried. `written` tells how many bytes went out, also on
// failure. Blocks as long as the handle makes each write wait.
[[nodiscard]] Result<void, OsError> write_all(HANDLE handle, std::string_view bytes, std::size_t& written);

}  // namespace orvix::platform::win32
