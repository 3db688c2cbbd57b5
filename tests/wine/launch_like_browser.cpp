// Starts a program the way Chromium starts a native host on Windows, for the
// black-box and Wine tests:
//
//   launch_like_browser.exe <working directory> <command line>
//
// The command line goes to CreateProcessW exactly as given. The browser's is
//   C:\Windows\system32\cmd.exe /d /s /c ""<host path>" chrome-extension://<id>/ --parent-window=0"
// and no quoting of separate arguments can produce it: Wine (like the C
// runtime) quotes each argument again with backslashes, which cmd.exe does
// not read. Here the whole line is one argument, which the C runtime's
// parsing of this program's own command line returns unchanged. The child
// inherits this program's standard handles (the browser gives it pipes) and
// runs in the given folder (the browser gives the host's). Exits with the
// child's exit code; 125 on a usage error, 126 when the child cannot start.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputws(L"usage: launch_like_browser.exe <working directory> <command line>\n", stderr);
    return 125;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring line = argv[2];  // CreateProcessW may write into it
  PROCESS_INFORMATION child{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, argv[1], &startup, &child)) {
    std::fwprintf(stderr, L"launch_like_browser: CreateProcessW failed (Windows error %lu)\n", GetLastError());
    return 126;
  }
  CloseHandle(child.hThread);
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 126;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hProcess);
  return static_cast<int>(code);
}
