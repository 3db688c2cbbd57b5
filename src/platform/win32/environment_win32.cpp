#include "platform/environment.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace orvix::platform {

std::optional<std::string> environment_variable(const char* name) {
  const std::wstring wide_name = win32::widen(name);
  std::wstring value(256, L'\0');
  for (;;) {
    // An empty value also returns 0; only the error code tells it from unset.
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      break;
    }
    // Too small: `length` is the size needed, terminator included.
    value.assign(length, L'\0');
  }
  // Windows values are UTF-16; one with an unpaired surrogate counts as unset.
  return win32::narrow(value);
}

}  // namespace orvix::platform

namespace orvix::platform {

bool append_environment_variable(const char* name, std::string& out) {
  // The value arrives as UTF-16 and is converted anyway: nothing to save here.
  auto value = environment_variable(name);
  if (!value) return false;
  out.append(*value);
  return true;
}

}  // namespace orvix::platform
