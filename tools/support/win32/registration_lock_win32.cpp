#include "support/registration_lock.h"

#include <windows.h>

#include <thread>

#include "platform/os_error.h"
#include "platform/win32/wide_text.h"

namespace orvix::support {

Result<RegistrationLock> RegistrationLock::acquire(const std::string& path, std::chrono::milliseconds wait) {
  // Shared with no one, so a second run's open fails while this one holds
  // it; deleted when closed, also when the run is killed, so no lock file
  // stays beside the manifest.
  const std::wstring lock = platform::win32::widen(path + ".lock");
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    HANDLE handle = CreateFileW(lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
      return RegistrationLock(platform::OwnedHandle(reinterpret_cast<std::intptr_t>(handle)));
    const DWORD error = GetLastError();
    // Access is denied to a file whose holder has closed it but that is not
    // deleted yet; where no such file is, the folder refuses this user.
    const bool held = error == ERROR_SHARING_VIOLATION ||
                      (error == ERROR_ACCESS_DENIED && GetFileAttributesW(lock.c_str()) != INVALID_FILE_ATTRIBUTES);
    if (!held) return Failure(Failure::Kind::kSystem, platform::os_error_from_code(static_cast<int>(error)).text);
    if (std::chrono::steady_clock::now() >= deadline) return Failure(Failure::Kind::kPeer, "still locked");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace orvix::support
