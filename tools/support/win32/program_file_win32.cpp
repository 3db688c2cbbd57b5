#include "support/program_file.h"

#include <windows.h>

#include <aclapi.h>

#include "base/path.h"
#include "platform/owned_handle.h"
#include "platform/win32/wide_text.h"

namespace orvix::support {

std::optional<std::string> noexec_mount(const std::string&) { return std::nullopt; }

std::string file_start(const std::string& path, std::size_t count) {
  platform::OwnedHandle file(reinterpret_cast<std::intptr_t>(CreateFileW(
      platform::win32::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!file.is_open()) return {};
  const HANDLE handle = reinterpret_cast<HANDLE>(file.get());
  if (GetFileType(handle) != FILE_TYPE_DISK) return {};
  std::string bytes(count, '\0');
  std::size_t done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!ReadFile(handle, bytes.data() + done, static_cast<DWORD>(count - done), &got, nullptr) || got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

namespace {

// The well-known groups every ordinary user is in: Everyone, Authenticated
// Users, Interactive and the local Users group.
bool is_every_user(PSID sid) {
  for (const WELL_KNOWN_SID_TYPE type : {WinWorldSid, WinAuthenticatedUserSid, WinInteractiveSid, WinBuiltinUsersSid}) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(buffer);
    if (CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer)) return true;
  }
  return false;
}

// Whether the access control list of `path` lets every user write to it,
// add files to it (a folder: also beside the host, where Windows looks for
// the DLLs it loads), delete it or change who may: a grant that applies to
// the object itself (not only to what inherits it). No list at all lets
// everyone do everything.
bool writable_by_every_user(const std::string& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring wide = platform::win32::widen(path);
  if (GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  constexpr ACCESS_MASK kChanging = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                    WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  bool writable = dacl == nullptr;
  for (DWORD index = 0; !writable && dacl != nullptr && index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(dacl, index, &entry)) break;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    writable = (allowed->Mask & kChanging) != 0 && is_every_user(reinterpret_cast<PSID>(&allowed->SidStart));
  }
  LocalFree(descriptor);
  return writable;
}

}  // namespace

std::vector<std::string> replaceable_by_users(const std::string& path) {
  std::vector<std::string> changeable;
  for (const std::string& item : {path, parent_path(path)}) {
    if (!item.empty() && writable_by_every_user(item)) changeable.push_back(item);
  }
  return changeable;
}

}  // namespace orvix::support
