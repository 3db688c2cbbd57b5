#include "support/process_alive.h"

#include <windows.h>

namespace orvix::support {

bool process_alive(std::uint32_t pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  // Access denied: it exists, but belongs to someone this user may not see.
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

}  // namespace orvix::support
