// UTF-8 <-> UTF-16 for the Win32 calls, which take and return wide text. For
// Windows-only code: the win32 halves here and in tools/support, so that every
// path and text crosses into Win32 by the same rule; nothing shared by both
// systems includes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvix::platform::win32 {

// UTF-16 for `utf8`; bytes that are not valid UTF-8 become U+FFFD.
std::wstring widen(std::string_view utf8);

// UTF-8 for `utf16`, or nothing when it holds an unpaired surrogate.
std::optional<std::string> narrow(std::wstring_view utf16);

// As narrow(), with an unpaired surrogate shown as U+FFFD: for texts that
// are only shown, never used as names.
std::string narrow_for_display(std::wstring_view utf16);

}  // namespace orvix::platform::win32
