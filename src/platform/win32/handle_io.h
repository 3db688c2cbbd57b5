// Writing through a Win32 file handle. Internal to the win32 platform files.
#pragma once

#include <windows.h>

#include <string_view>

#include <boost/system/result.hpp>

#include "platform/os_error.h"

namespace orvix::platform::win32 {

// Writes every byte of `bytes` (one WriteFile call for anything under 4 GiB),
// or fails with the system's error.
boost::system::result<void, OsError> write_all(HANDLE handle, std::string_view bytes);

}  // namespace orvix::platform::win32
