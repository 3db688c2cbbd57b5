#include "support/registry.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide_text.h"

namespace orvix::platform {

namespace {

HKEY root_of(RegistryHive hive) { return hive == RegistryHive::current_user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

REGSAM view_flag(RegistryView view) { return view == RegistryView::bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

// Registry calls return their error code instead of setting the thread's.
OsError registry_error(LSTATUS status) { return os_error_from_code(static_cast<int>(status)); }

class OpenKey {
 public:
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

Result<std::optional<std::string>, OsError> read_default_value(RegistryHive hive, RegistryView view,
                                                               const std::string& key) {
  OpenKey opened;
  LSTATUS status = ::RegOpenKeyExW(root_of(hive), win32::widen(key).c_str(), 0, KEY_QUERY_VALUE | view_flag(view),
                                   opened.out());
  if (status == ERROR_FILE_NOT_FOUND) return std::optional<std::string>();
  if (status != ERROR_SUCCESS) return registry_error(status);

  DWORD type = 0;
  DWORD size = 0;
  status = ::RegQueryValueExW(opened.get(), nullptr, nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return std::optional<std::string>();
  if (status != ERROR_SUCCESS) return registry_error(status);
  if (type != REG_SZ && type != REG_EXPAND_SZ) return registry_error(ERROR_INVALID_DATATYPE);

  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  status = ::RegQueryValueExW(opened.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes);
  if (status != ERROR_SUCCESS) return registry_error(status);
  value.resize(bytes / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return std::optional<std::string>(win32::narrow_for_display(value));
}

Result<void, OsError> write_default_value(RegistryHive hive, RegistryView view, const std::string& key,
                                          const std::string& value) {
  OpenKey opened;
  LSTATUS status = ::RegCreateKeyExW(root_of(hive), win32::widen(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE | view_flag(view), nullptr, opened.out(), nullptr);
  if (status != ERROR_SUCCESS) return registry_error(status);
  const std::wstring text = win32::widen(value);
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  status = ::RegSetValueExW(opened.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
  if (status != ERROR_SUCCESS) return registry_error(status);
  return {};
}

Result<bool, OsError> delete_key(RegistryHive hive, RegistryView view, const std::string& key) {
  LSTATUS status = ::RegDeleteKeyExW(root_of(hive), win32::widen(key).c_str(), view_flag(view), 0);
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) return registry_error(status);
  return true;
}

}  // namespace orvix::platform
