// The Windows Installer actions of the MSI packages, in a DLL that the
// packages carry in their Binary table (it is never installed).
//
// The registry values are rows of the packages themselves, so Windows
// Installer owns them: it writes them, restores them on repair, removes
// them on uninstall and across a major upgrade. Only the manifest needs
// code: its allowed origins come from the EXTENSION_IDS property, and its
// host path must be written as JSON. These actions write and remove it,
// with the registration tool's own manifest_text(), so the MSI and the tool
// never disagree on the format.
//
// Both run deferred; CustomActionData holds "<extension ids>|<folder>" for
// WriteManifest and "<folder>" for RemoveManifest ('|' never occurs in a
// Windows path). Each returns ERROR_SUCCESS or ERROR_INSTALL_FAILURE, having
// put the reason into the installer's log.
#include <windows.h>
// clang-format off: msiquery.h needs msi.h first
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <algorithm>
#include <string>
#include <vector>

#include "native_host_register/host_manifest.h"

namespace {

constexpr const wchar_t* kHostProgram = L"orvix-chrome-native-host.exe";

std::wstring property(MSIHANDLE install, const wchar_t* name) {
  wchar_t none[1] = L"";
  DWORD size = 0;
  if (MsiGetPropertyW(install, name, none, &size) != ERROR_MORE_DATA) return {};
  std::wstring value(size + 1, L'\0');
  size = static_cast<DWORD>(value.size());
  if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return {};
  value.resize(size);
  return value;
}

// One line in the installer's log (msiexec /l*v), and on failure the
// installer's error, which a silent install also only logs.
void tell(MSIHANDLE install, INSTALLMESSAGE kind, const std::wstring& text) {
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, L"Orvix native host: [1]");
  MsiRecordSetStringW(record, 1, text.c_str());
  MsiProcessMessage(install, kind, record);
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::wstring widen(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                       static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(size));
  return wide;
}

std::wstring with_separator(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder;
}

std::wstring manifest_path(const std::wstring& folder) {
  return with_separator(folder) + widen(orvix::register_tool::kHostName) + L".json";
}

// The ids in `list`, separated by commas (semicolons and blanks are taken
// too, as administrators type them), each once, in the order given.
struct Ids {
  std::vector<std::string> ids;
  std::string refused;  // the first piece that is no extension id
};

Ids extension_ids(const std::string& list) {
  Ids result;
  std::string piece;
  auto take = [&] {
    if (piece.empty()) return;
    if (!orvix::register_tool::is_extension_id(piece)) {
      if (result.refused.empty()) result.refused = piece;
    } else if (std::find(result.ids.begin(), result.ids.end(), piece) == result.ids.end()) {
      result.ids.push_back(piece);
    }
    piece.clear();
  };
  for (char c : list) {
    if (c == ',' || c == ';' || c == ' ' || c == '\t') {
      take();
    } else {
      piece += c;
    }
  }
  take();
  return result;
}

bool write_file(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  return CloseHandle(file) && ok;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall WriteManifest(MSIHANDLE install) {
  const std::wstring data = property(install, L"CustomActionData");
  const std::size_t bar = data.find(L'|');
  if (bar == std::wstring::npos) {
    tell(install, INSTALLMESSAGE_ERROR, L"the package passed no folder to WriteManifest.");
    return ERROR_INSTALL_FAILURE;
  }
  const Ids ids = extension_ids(utf8(data.substr(0, bar)));
  if (!ids.refused.empty()) {
    tell(install, INSTALLMESSAGE_ERROR,
         L"EXTENSION_IDS holds \"" + widen(ids.refused) +
             L"\", which is not an extension id (32 letters from a to p, as chrome://extensions shows it).");
    return ERROR_INSTALL_FAILURE;
  }
  if (ids.ids.empty()) {
    tell(install, INSTALLMESSAGE_ERROR,
         L"no extension id given: install with EXTENSION_IDS=<id>[,<id>...] on the msiexec command line.");
    return ERROR_INSTALL_FAILURE;
  }
  const std::wstring folder = data.substr(bar + 1);
  const std::wstring path = manifest_path(folder);
  const std::string text = orvix::register_tool::manifest_text(utf8(with_separator(folder) + kHostProgram), ids.ids);
  if (!write_file(path, text)) {
    const DWORD error = GetLastError();
    tell(install, INSTALLMESSAGE_ERROR, L"cannot write " + path + L" (Windows error " + std::to_wstring(error) + L").");
    return ERROR_INSTALL_FAILURE;
  }
  tell(install, INSTALLMESSAGE_INFO,
       L"wrote " + path + L" for " + widen(std::to_string(ids.ids.size())) + L" extension id(s).");
  return ERROR_SUCCESS;
}

// Also the rollback of WriteManifest. A missing manifest is no failure: an
// uninstall must never stop on what is already gone.
extern "C" __declspec(dllexport) UINT __stdcall RemoveManifest(MSIHANDLE install) {
  const std::wstring path = manifest_path(property(install, L"CustomActionData"));
  if (DeleteFileW(path.c_str())) {
    tell(install, INSTALLMESSAGE_INFO, L"removed " + path + L".");
    return ERROR_SUCCESS;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    tell(install, INSTALLMESSAGE_INFO, L"cannot remove " + path + L" (Windows error " + std::to_wstring(error) + L").");
  }
  return ERROR_SUCCESS;
}
