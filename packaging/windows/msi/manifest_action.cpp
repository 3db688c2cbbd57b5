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
// CheckSettings runs immediately, in both sequences, before anything on the
// machine changes: a value that would fail the run later (an id that is no
// extension id, a folder cmd.exe would turn into another path, a browser key
// another product registered) fails it there, so nothing has to be undone;
// it also keeps the manifests as they are for RestoreManifest.
// WriteManifest and RemoveManifest run deferred; CustomActionData holds
// "<extension ids>|<folder>" for WriteManifest and "<folder>" for
// RemoveManifest ('|' never occurs in a Windows path). RestoreManifest is
// the rollback of the whole run. Each returns ERROR_SUCCESS or
// ERROR_INSTALL_FAILURE, having put the reason into the installer's log.
#include <windows.h>
// clang-format off: msiquery.h needs msi.h first
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <optional>
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

// Why `ids` cannot be what an install registers; empty when they can.
std::wstring ids_problem(const Ids& ids) {
  if (!ids.refused.empty()) {
    return L"EXTENSION_IDS holds \"" + widen(ids.refused) +
           L"\", which is not an extension id (32 letters from a to p, as chrome://extensions shows it).";
  }
  if (ids.ids.empty()) {
    return L"no extension id given: install with EXTENSION_IDS=<id>[,<id>...] on the msiexec command line.";
  }
  return {};
}

// A file as it was before the run: its bytes, or nothing when it did not
// exist. `readable` is false when it exists but could not be read (then
// the run must not go on: its rollback could not put the file back).
struct Kept {
  bool readable = true;
  std::optional<std::string> bytes;
};

Kept keep(const std::wstring& path) {
  Kept kept;
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    kept.readable = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return kept;
  }
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (bytes.size() <= orvix::register_tool::kManifestLimit && ReadFile(file, buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
    bytes.append(buffer, got);
  }
  kept.readable = got == 0 && bytes.size() <= orvix::register_tool::kManifestLimit;
  CloseHandle(file);
  kept.bytes = std::move(bytes);
  return kept;
}

std::wstring hex(const std::string& bytes) {
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring text;
  for (unsigned char c : bytes) {
    text += digits[c >> 4];
    text += digits[c & 15];
  }
  return text;
}

std::string unhex(const std::wstring& text) {
  auto value = [](wchar_t c) { return c <= L'9' ? c - L'0' : c - L'a' + 10; };
  std::string bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes += static_cast<char>(value(text[i]) * 16 + value(text[i + 1]));
  }
  return bytes;
}

bool same_path(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The default value of `key` in one registry view, or nothing.
std::optional<std::wstring> registry_default(HKEY root, const std::wstring& key, REGSAM view) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return std::nullopt;
  std::optional<std::wstring> value;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(opened, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(opened, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) ==
        ERROR_SUCCESS) {
      text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
      value = text;
    }
  }
  RegCloseKey(opened);
  return value;
}

// The browsers' keys this package writes (its own Registry rows under a
// NativeMessagingHosts key) that hold a manifest path other than `ours`:
// one line for each, naming the key and the manifest.
std::vector<std::wstring> other_registrations(MSIHANDLE install, const std::vector<std::wstring>& ours) {
  std::vector<std::wstring> found;
  PMSIHANDLE database = MsiGetActiveDatabase(install);
  PMSIHANDLE view;
  if (MsiDatabaseOpenViewW(database,
                           L"SELECT `Registry`.`Root`, `Registry`.`Key`, `Component`.`Attributes` FROM "
                           L"`Registry`, `Component` WHERE `Registry`.`Component_` = `Component`.`Component`",
                           &view) != ERROR_SUCCESS ||
      MsiViewExecute(view, 0) != ERROR_SUCCESS) {
    return found;
  }
  PMSIHANDLE row;
  while (MsiViewFetch(view, &row) == ERROR_SUCCESS) {
    const int root = MsiRecordGetInteger(row, 1);
    wchar_t key[1024];
    DWORD size = sizeof key / sizeof key[0];
    if (MsiRecordGetStringW(row, 2, key, &size) != ERROR_SUCCESS) continue;
    if (std::wstring(key).find(L"\\NativeMessagingHosts\\") == std::wstring::npos) continue;
    // msidbComponentAttributes64bit: the row is written in the 64-bit view.
    const bool wide = (MsiRecordGetInteger(row, 3) & 256) != 0;
    const HKEY hive = root == 2 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const auto manifest = registry_default(hive, key, wide ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    if (!manifest || manifest->empty()) continue;
    if (std::any_of(ours.begin(), ours.end(), [&](const std::wstring& path) { return same_path(path, *manifest); })) {
      continue;
    }
    found.push_back((root == 2 ? L"HKLM\\" : L"HKCU\\") + std::wstring(key) +
                    (root == 2 ? (wide ? L" (64-bit view)" : L" (32-bit view)") : L"") + L" registers " + *manifest);
  }
  return found;
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
  if (const std::wstring problem = ids_problem(ids); !problem.empty()) {
    tell(install, INSTALLMESSAGE_ERROR, problem);
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

// Before anything changes: the values this run would fail on, checked here
// so the run fails while there is nothing to undo; and the manifests as they
// are now (in the install folder and in the installed version's folder) kept
// in RestoreManifest's data for the rollback.
extern "C" __declspec(dllexport) UINT __stdcall CheckSettings(MSIHANDLE install) {
  std::vector<std::wstring> refusals;
  if (const std::wstring problem = ids_problem(extension_ids(utf8(property(install, L"EXTENSION_IDS"))));
      !problem.empty()) {
    refusals.push_back(problem);
  }
  const std::wstring folder = with_separator(property(install, L"INSTALLDIR"));
  if (const auto problem = orvix::register_tool::cmd_exe_problem(utf8(folder + kHostProgram))) {
    refusals.push_back(L"INSTALLDIR: " + widen(problem->text) + L" Choose a folder without two % signs.");
  }
  std::vector<std::wstring> manifests = {manifest_path(folder)};
  const std::wstring saved = property(install, L"ORVIX_SAVED_FOLDER");
  if (!saved.empty() && !same_path(manifest_path(saved), manifests.front())) manifests.push_back(manifest_path(saved));

  const std::vector<std::wstring> others = other_registrations(install, manifests);
  if (!others.empty() && property(install, L"TAKE_OVER_REGISTRATION") == L"1") {
    for (const std::wstring& other : others) {
      tell(install, INSTALLMESSAGE_INFO, L"takes over (TAKE_OVER_REGISTRATION=1): " + other + L".");
    }
  } else if (!others.empty()) {
    std::wstring text = L"the host's name is registered already by a manifest this package did not write:";
    for (const std::wstring& other : others) text += L"\r\n  " + other;
    text +=
        L"\r\nAnother product or the registration tool made that registration. Remove it, or install with "
        L"TAKE_OVER_REGISTRATION=1 to replace it (uninstalling this package then removes it).";
    refusals.push_back(text);
  }

  std::wstring restore;
  for (const std::wstring& path : manifests) {
    const Kept kept = keep(path);
    if (!kept.readable) {
      refusals.push_back(L"cannot read " + path + L", which a failed install would have to put back.");
      continue;
    }
    restore += path + (kept.bytes ? L"|+" + hex(*kept.bytes) : L"|-") + L"\n";
  }
  if (!refusals.empty()) {
    std::wstring text = L"nothing was changed:";
    for (const std::wstring& refusal : refusals) text += L"\r\n" + refusal;
    tell(install, INSTALLMESSAGE_ERROR, text);
    return ERROR_INSTALL_FAILURE;
  }
  MsiSetPropertyW(install, L"RestoreManifest", restore.c_str());
  return ERROR_SUCCESS;
}

// The rollback of a run: each manifest CheckSettings kept is put back as it
// was, and one that did not exist is removed (only this run can have
// written it). Rollback goes on past what it cannot do, saying so.
extern "C" __declspec(dllexport) UINT __stdcall RestoreManifest(MSIHANDLE install) {
  const std::wstring data = property(install, L"CustomActionData");
  std::size_t start = 0;
  for (std::size_t end; (end = data.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
    const std::wstring entry = data.substr(start, end - start);
    const std::size_t bar = entry.find(L'|');
    if (bar == std::wstring::npos || bar + 1 >= entry.size()) continue;
    const std::wstring path = entry.substr(0, bar);
    if (entry[bar + 1] == L'+') {
      const bool written = write_file(path, unhex(entry.substr(bar + 2)));
      tell(install, INSTALLMESSAGE_INFO,
           (written ? L"put back " : L"cannot put back (Windows error " + std::to_wstring(GetLastError()) + L") ") +
               path + L".");
    } else if (DeleteFileW(path.c_str())) {
      tell(install, INSTALLMESSAGE_INFO, L"removed " + path + L", which this run wrote.");
    }
  }
  return ERROR_SUCCESS;
}
