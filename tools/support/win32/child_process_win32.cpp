#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <map>

#include "platform/win32/handle_io.h"
#include "platform/win32/wide_text.h"
#include "support/child_process_calls.h"

namespace orvix::support::child_process_calls {

namespace {

Failure last_failure() { return system_failure(static_cast<int>(GetLastError())); }

// One argument quoted the way CommandLineToArgvW and the C runtime split a
// command line: backslashes are literal except before a quote.
void append_quoted(std::wstring& line, const std::wstring& argument) {
  if (!line.empty()) line.push_back(L' ');
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line.append(argument);
    return;
  }
  line.push_back(L'"');
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line.push_back(c);
  }
  // Backslashes before the closing quote are doubled too.
  line.append(2 * backslashes, L'\\');
  line.push_back(L'"');
}

// Windows compares variable names without regard to case.
struct NameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t x, wchar_t y) { return std::towupper(x) < std::towupper(y); });
  }
};

// The parent's environment with `overrides` applied, as an environment block:
// "NAME=value\0" entries sorted by name, then one more NUL.
std::wstring child_environment(const ChildOptions& options) {
  std::map<std::wstring, std::wstring, NameLess> variables;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      std::wstring_view text(entry);
      // Entries such as "=C:=C:\dir" (per-drive directories) start with '='.
      const std::size_t equals = text.find(L'=', 1);
      if (equals == std::wstring_view::npos) continue;
      variables.insert_or_assign(std::wstring(text.substr(0, equals)), std::wstring(text.substr(equals + 1)));
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : options.environment) {
    if (value) {
      variables.insert_or_assign(platform::win32::widen(name), platform::win32::widen(*value));
    } else {
      variables.erase(platform::win32::widen(name));
    }
  }
  std::wstring joined;
  for (const auto& [name, value] : variables) {
    joined.append(name).append(1, L'=').append(value).push_back(L'\0');
  }
  joined.push_back(L'\0');
  return joined;
}

// Waits until `pipe` holds data or its writer is gone. Returns false on
// timeout. Anonymous pipes have no overlapped reads, so a read with a time
// limit looks ahead with PeekNamedPipe, with pauses that grow to 10 ms.
Result<bool> wait_readable(HANDLE pipe, ReadTimeout timeout) {
  if (!timeout) return true;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + *timeout;
  DWORD pause_ms = 0;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
      // The writer closed its end: the read that follows sees the end.
      if (GetLastError() == ERROR_BROKEN_PIPE) return true;
      return last_failure();
    }
    if (available > 0) return true;
    if (Clock::now() >= deadline) return false;
    Sleep(pause_ms);
    pause_ms = std::min<DWORD>(pause_ms + 1, 10);
  }
}

// A job that holds `process` and whatever it starts, and kills them all when
// its last handle closes; kNone when the system refuses one (the child then
// runs without, and only the child itself is killed).
platform::OwnedHandle job_holding(HANDLE process) {
  HANDLE created = CreateJobObjectW(nullptr, nullptr);
  if (created == nullptr) return platform::OwnedHandle();
  platform::OwnedHandle job(reinterpret_cast<std::intptr_t>(created));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(platform::win32::as_handle(job.get()), JobObjectExtendedLimitInformation, &limits,
                               sizeof limits) ||
      !AssignProcessToJobObject(platform::win32::as_handle(job.get()), process)) {
    return platform::OwnedHandle();
  }
  return job;
}

}  // namespace

Failure broken_pipe() { return system_failure(ERROR_BROKEN_PIPE); }

Result<Pipe> make_pipe(bool child_reads) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) return last_failure();
  Pipe pipe{platform::OwnedHandle(reinterpret_cast<std::intptr_t>(read_end)),
            platform::OwnedHandle(reinterpret_cast<std::intptr_t>(write_end))};
  if (!SetHandleInformation(child_reads ? write_end : read_end, HANDLE_FLAG_INHERIT, 0)) return last_failure();
  return pipe;
}

Result<Process> start(const ChildOptions& options, std::intptr_t child_stdin, std::intptr_t child_stdout,
                      std::intptr_t child_stderr) {
  // Without a pipe of its own, the child writes to this process's standard
  // error, through an inheritable copy of it.
  HANDLE child_error = platform::win32::as_handle(child_stderr);
  platform::OwnedHandle own_error;
  if (child_stderr == platform::OwnedHandle::kNone) {
    child_error = nullptr;
    HANDLE own = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE copy = nullptr;
    if (own != nullptr && own != INVALID_HANDLE_VALUE &&
        DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
      own_error = platform::OwnedHandle(reinterpret_cast<std::intptr_t>(copy));
      child_error = copy;
    }
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = platform::win32::as_handle(child_stdin);
  startup.hStdOutput = platform::win32::as_handle(child_stdout);
  startup.hStdError = child_error;

  std::wstring command_line = platform::win32::widen(options.windows_command_line);
  if (command_line.empty()) {
    for (const auto& argument : options.argv) append_quoted(command_line, platform::win32::widen(argument));
  }
  std::wstring environment = child_environment(options);
  const std::wstring directory = platform::win32::widen(options.working_directory);

  // Only handles marked inheritable reach the child: the three above, and
  // whatever else this process made inheritable (it makes nothing else so,
  // and the tools spawn from one thread).
  // The child starts suspended so that it is in its job before it can start
  // anything of its own.
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, environment.data(),
                      directory.empty() ? nullptr : directory.c_str(), &startup, &started)) {
    return last_failure();
  }
  Process process{static_cast<int>(started.dwProcessId), false,
                  platform::OwnedHandle(reinterpret_cast<std::intptr_t>(started.hProcess)),
                  job_holding(started.hProcess)};
  ResumeThread(started.hThread);
  CloseHandle(started.hThread);
  return process;
}

Result<std::size_t> read_some(std::intptr_t pipe, char* data, std::size_t size, ReadTimeout timeout) {
  auto readable = wait_readable(platform::win32::as_handle(pipe), timeout);
  if (!readable) return readable.error();
  if (!*readable) return Failure(Failure::Kind::kPeer, "timed out");
  const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  DWORD got = 0;
  if (ReadFile(platform::win32::as_handle(pipe), data, wanted, &got, nullptr)) return std::size_t{got};
  if (GetLastError() == ERROR_BROKEN_PIPE) return std::size_t{0};
  return last_failure();
}

Result<void> write_all(std::intptr_t pipe, std::string_view bytes) {
  std::size_t written = 0;
  auto result = platform::win32::write_all(platform::win32::as_handle(pipe), bytes, written);
  if (!result) return Failure(Failure::Kind::kSystem, std::move(result.error().text));
  return {};
}

Result<ExitStatus> wait_for(Process& process) {
  const HANDLE handle = platform::win32::as_handle(process.handle.get());
  if (WaitForSingleObject(handle, INFINITE) != WAIT_OBJECT_0) return last_failure();
  DWORD code = 0;
  if (!GetExitCodeProcess(handle, &code)) return last_failure();
  // Windows has no signals: a killed or crashed process ends with a code too
  // (TerminateProcess's argument, or an NTSTATUS such as 0xC0000005).
  return ExitStatus{false, static_cast<int>(code)};
}

void kill_and_reap(Process& process) {
  if (!process.handle.is_open()) return;
  if (!process.job.is_open() || !TerminateJobObject(platform::win32::as_handle(process.job.get()), 1)) {
    TerminateProcess(platform::win32::as_handle(process.handle.get()), 1);
  }
  WaitForSingleObject(platform::win32::as_handle(process.handle.get()), INFINITE);
}

}  // namespace orvix::support::child_process_calls
