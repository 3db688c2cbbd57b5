#include "support/program_file.h"

#include <windows.h>

#include "platform/owned_handle.h"
#include "platform/win32/wide_text.h"

namespace orvix::platform {

std::optional<std::string> noexec_mount(const std::string&) { return std::nullopt; }

std::string file_start(const std::string& path, std::size_t count) {
  OwnedHandle file(reinterpret_cast<std::intptr_t>(
      CreateFileW(win32::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

std::vector<std::string> replaceable_by_users(const std::string&) { return {}; }

}  // namespace orvix::platform
