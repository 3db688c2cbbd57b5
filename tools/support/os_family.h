// Which operating system the program runs on, decided at run time so that
// callers keep one code path for tables that differ by system.
#pragma once

namespace orvix::support {

enum class OsFamily { linux, macos, windows, other_unix };

OsFamily os_family();

}  // namespace orvix::support
