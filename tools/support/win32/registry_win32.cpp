#include "support/registry.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/win32/wide_text.h"

namespace orvix::support {

namespace {

HKEY root_of(RegistryHive hive) { return hive == RegistryHive::current_user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

REGSAM view_flag(RegistryView view) { return view == RegistryView::bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

// Registry calls return their error code instead of setting the thread's.
platform::OsError registry_error(LSTATUS status) { return platform::os_error_from_code(static_cast<int>(status)); }

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

Result<std::optional<std::string>, platform::OsError> read_default_value(RegistryHive hive, RegistryView view,
                                                                         const std::string& key) {
  OpenKey opened;
  LSTATUS status = ::RegOpenKeyExW(root_of(hive), platform::win32::widen(key).c_str(), 0,
                                   KEY_QUERY_VALUE | view_flag(view), opened.out());
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
  return std::optional<std::string>(platform::win32::narrow_for_display(value));
}

Result<std::vector<RegistryValue>, platform::OsError> read_values(RegistryHive hive, RegistryView view,
                                                                  const std::string& key) {
  std::vector<RegistryValue> values;
  OpenKey opened;
  LSTATUS status = ::RegOpenKeyExW(root_of(hive), platform::win32::widen(key).c_str(), 0,
                                   KEY_QUERY_VALUE | view_flag(view), opened.out());
  if (status == ERROR_FILE_NOT_FOUND) return values;
  if (status != ERROR_SUCCESS) return registry_error(status);
  // Names are at most 16,383 characters; policy data is short, and a longer
  // value is left out rather than read in pieces.
  std::wstring name(16384, L'\0');
  std::vector<BYTE> data(64 * 1024);
  for (DWORD index = 0;; ++index) {
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    status = ::RegEnumValueW(opened.get(), index, name.data(), &name_size, nullptr, &type, data.data(), &data_size);
    if (status == ERROR_NO_MORE_ITEMS) return values;
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return registry_error(status);
    RegistryValue value{platform::win32::narrow_for_display(name.substr(0, name_size)), std::uint32_t{0}};
    if (type == REG_DWORD && data_size == sizeof(DWORD)) {
      DWORD number = 0;
      std::memcpy(&number, data.data(), sizeof number);
      value.data = std::uint32_t{number};
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data_size / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      value.data = platform::win32::narrow_for_display(text);
    } else {
      continue;
    }
    values.push_back(std::move(value));
  }
}

Result<void, platform::OsError> write_default_value(RegistryHive hive, RegistryView view, const std::string& key,
                                                    const std::string& value) {
  OpenKey opened;
  LSTATUS status =
      ::RegCreateKeyExW(root_of(hive), platform::win32::widen(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | view_flag(view), nullptr, opened.out(), nullptr);
  if (status != ERROR_SUCCESS) return registry_error(status);
  const std::wstring text = platform::win32::widen(value);
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  status = ::RegSetValueExW(opened.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
  if (status != ERROR_SUCCESS) return registry_error(status);
  return {};
}

Result<std::size_t, platform::OsError> count_entries(RegistryHive hive, RegistryView view, const std::string& key) {
  OpenKey opened;
  LSTATUS status = ::RegOpenKeyExW(root_of(hive), platform::win32::widen(key).c_str(), 0,
                                   KEY_QUERY_VALUE | view_flag(view), opened.out());
  if (status == ERROR_FILE_NOT_FOUND) return std::size_t{0};
  if (status != ERROR_SUCCESS) return registry_error(status);
  DWORD subkeys = 0;
  DWORD values = 0;
  status = ::RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return registry_error(status);
  return std::size_t{subkeys} + values;
}

Result<bool, platform::OsError> delete_key(RegistryHive hive, RegistryView view, const std::string& key) {
  LSTATUS status = ::RegDeleteKeyExW(root_of(hive), platform::win32::widen(key).c_str(), view_flag(view), 0);
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) return registry_error(status);
  return true;
}

}  // namespace orvix::support
