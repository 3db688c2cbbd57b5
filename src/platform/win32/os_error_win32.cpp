#include "platform/os_error.h"

#include <windows.h>

#include <string_view>

#include "platform/win32/wide_text.h"

namespace orvix::platform {

OsError os_error_from_code(int code) {
  wchar_t buffer[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(code), 0, buffer, sizeof buffer / sizeof buffer[0], nullptr);
  std::wstring_view message(buffer, length);
  // System messages end in CRLF (some in a space before it).
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
    message.remove_suffix(1);
  }
  std::string text = win32::narrow_for_display(message);
  // Some codes have no message (Wine has none for the Winsock timeout).
  if (text.empty()) text = "Unknown error";
  return OsError{code, text + " (os error " + std::to_string(code) + ")"};
}

OsError last_os_error() { return os_error_from_code(static_cast<int>(GetLastError())); }

OsError out_of_memory_error() { return os_error_from_code(ERROR_NOT_ENOUGH_MEMORY); }

}  // namespace orvix::platform
