#include "platform/win32/wide_text.h"

#include <windows.h>

#include <climits>

namespace orvix::platform::win32 {

namespace {

// Texts longer than an int are cut by the conversion calls' length type;
// nothing the host handles comes close.
int length_of(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

std::optional<std::string> to_utf8(std::wstring_view utf16, DWORD flags) {
  if (utf16.empty()) return std::string();
  const int n = length_of(utf16.size());
  const int size = WideCharToMultiByte(CP_UTF8, flags, utf16.data(), n, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, flags, utf16.data(), n, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

}  // namespace

std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = length_of(utf8.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
  if (size <= 0) return {};
  std::wstring utf16(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, utf16.data(), size);
  return utf16;
}

std::optional<std::string> narrow(std::wstring_view utf16) { return to_utf8(utf16, WC_ERR_INVALID_CHARS); }

std::string narrow_for_display(std::wstring_view utf16) { return to_utf8(utf16, 0).value_or(std::string()); }

}  // namespace orvix::platform::win32
