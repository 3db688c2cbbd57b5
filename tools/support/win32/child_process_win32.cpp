#include "support/child_process.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <map>

#include "platform/os_error.h"
#include "platform/win32/wide_text.h"

namespace orvix::platform {

namespace {

ChildError os_failure(DWORD code) { return ChildError{false, os_error_from_code(static_cast<int>(code)).text}; }

ChildError last_failure() { return os_failure(GetLastError()); }

void close_handle(HANDLE& handle) {
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
}

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
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
      return std::towupper(x) < std::towupper(y);
    });
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
      variables.insert_or_assign(win32::widen(name), win32::widen(*value));
    } else {
      variables.erase(win32::widen(name));
    }
  }
  std::wstring joined;
  for (const auto& [name, value] : variables) {
    joined.append(name).append(1, L'=').append(value).push_back(L'\0');
  }
  joined.push_back(L'\0');
  return joined;
}

struct Pipe {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
};

// A pipe whose `child_end` (read or write) alone is inheritable.
ChildResult<Pipe> make_pipe(bool child_reads) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Pipe pipe;
  if (!CreatePipe(&pipe.read_end, &pipe.write_end, &inheritable, 0)) return last_failure();
  HANDLE parent_end = child_reads ? pipe.write_end : pipe.read_end;
  if (!SetHandleInformation(parent_end, HANDLE_FLAG_INHERIT, 0)) {
    ChildError error = last_failure();
    close_handle(pipe.read_end);
    close_handle(pipe.write_end);
    return error;
  }
  return pipe;
}

// Waits until `pipe` holds data or its writer is gone. Returns false on
// timeout. Anonymous pipes have no overlapped reads, so a read with a time
// limit looks ahead with PeekNamedPipe, with pauses that grow to 10 ms.
ChildResult<bool> wait_readable(HANDLE pipe, ReadTimeout timeout) {
  if (!timeout) return {boost::system::in_place_value, true};
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + *timeout;
  DWORD pause_ms = 0;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
      // The writer closed its end: the read that follows sees the end.
      if (GetLastError() == ERROR_BROKEN_PIPE) return {boost::system::in_place_value, true};
      return last_failure();
    }
    if (available > 0) return {boost::system::in_place_value, true};
    if (Clock::now() >= deadline) return {boost::system::in_place_value, false};
    Sleep(pause_ms);
    pause_ms = std::min<DWORD>(pause_ms + 1, 10);
  }
}

// Reads once; 0 means end of stream.
ChildResult<std::size_t> read_some(HANDLE pipe, char* data, std::size_t size, ReadTimeout timeout) {
  auto readable = wait_readable(pipe, timeout);
  if (!readable) return readable.error();
  if (!*readable) return ChildError{true, "timed out"};
  const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  DWORD got = 0;
  if (ReadFile(pipe, data, wanted, &got, nullptr)) return {boost::system::in_place_value, std::size_t{got}};
  if (GetLastError() == ERROR_BROKEN_PIPE) return {boost::system::in_place_value, std::size_t{0}};
  return last_failure();
}

ChildResult<std::string> read_to_end(HANDLE pipe, ReadTimeout timeout) {
  std::string all;
  if (pipe == nullptr) return {boost::system::in_place_value, all};
  char chunk[16384];
  for (;;) {
    auto got = read_some(pipe, chunk, sizeof chunk, timeout);
    if (!got) return got.error();
    if (*got == 0) return {boost::system::in_place_value, all};
    all.append(chunk, *got);
  }
}

}  // namespace

struct ChildProcess::State {
  HANDLE process = nullptr;
  DWORD pid = 0;
  HANDLE stdin_pipe = nullptr;
  HANDLE stdout_pipe = nullptr;
  HANDLE stderr_pipe = nullptr;
  bool reaped = false;

  ~State() {
    close_handle(stdin_pipe);
    close_handle(stdout_pipe);
    close_handle(stderr_pipe);
    if (process != nullptr && !reaped) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, INFINITE);
    }
    close_handle(process);
  }
};

ChildProcess::ChildProcess(std::unique_ptr<State> state) : state_(std::move(state)) {}
ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&&) noexcept = default;
ChildProcess::~ChildProcess() = default;

ChildResult<ChildProcess> ChildProcess::spawn(const ChildOptions& options) {
  if (options.argv.empty() && options.windows_command_line.empty()) return ChildError{false, "no program to start"};

  // The parent's ends go into the State at once and the child's ends into
  // child_ends, so every early return below closes what was opened.
  auto state = std::make_unique<State>();
  std::vector<HANDLE> child_ends;
  auto close_child_ends = [&] {
    for (HANDLE& handle : child_ends) close_handle(handle);
  };

  auto in = make_pipe(/*child_reads=*/true);
  if (!in) return in.error();
  state->stdin_pipe = in->write_end;
  child_ends.push_back(in->read_end);

  auto out = make_pipe(/*child_reads=*/false);
  if (!out) {
    close_child_ends();
    return out.error();
  }
  state->stdout_pipe = out->read_end;
  child_ends.push_back(out->write_end);

  HANDLE child_stderr = nullptr;
  if (options.pipe_stderr) {
    auto err = make_pipe(/*child_reads=*/false);
    if (!err) {
      close_child_ends();
      return err.error();
    }
    state->stderr_pipe = err->read_end;
    child_stderr = err->write_end;
  } else if (HANDLE own = GetStdHandle(STD_ERROR_HANDLE); own != nullptr && own != INVALID_HANDLE_VALUE) {
    // The child writes to this process's standard error, through an
    // inheritable copy of it.
    DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &child_stderr, 0, TRUE, DUPLICATE_SAME_ACCESS);
  }
  if (child_stderr != nullptr) child_ends.push_back(child_stderr);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in->read_end;
  startup.hStdOutput = out->write_end;
  startup.hStdError = child_stderr;

  std::wstring command_line = win32::widen(options.windows_command_line);
  if (command_line.empty()) {
    for (const auto& argument : options.argv) append_quoted(command_line, win32::widen(argument));
  }
  std::wstring environment = child_environment(options);
  const std::wstring directory = win32::widen(options.working_directory);

  // Only handles marked inheritable reach the child: the three above, and
  // whatever else this process made inheritable (it makes nothing else so,
  // and the tools spawn from one thread).
  PROCESS_INFORMATION started{};
  const BOOL created = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                                      CREATE_UNICODE_ENVIRONMENT, environment.data(),
                                      directory.empty() ? nullptr : directory.c_str(), &startup, &started);
  const DWORD create_error = GetLastError();
  close_child_ends();
  if (!created) return os_failure(create_error);

  CloseHandle(started.hThread);
  state->process = started.hProcess;
  state->pid = started.dwProcessId;
  return ChildProcess(std::move(state));
}

int ChildProcess::pid() const { return static_cast<int>(state_->pid); }

ChildResult<void> ChildProcess::write_all(std::string_view bytes) {
  if (state_->stdin_pipe == nullptr) return os_failure(ERROR_BROKEN_PIPE);
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(state_->stdin_pipe, bytes.data(), chunk, &written, nullptr)) return last_failure();
    bytes.remove_prefix(written);
  }
  return {};
}

ChildResult<std::size_t> ChildProcess::read_exact(std::span<char> buffer, ReadTimeout timeout) {
  std::size_t filled = 0;
  if (state_->stdout_pipe == nullptr) return {boost::system::in_place_value, filled};
  while (filled < buffer.size()) {
    auto got = read_some(state_->stdout_pipe, buffer.data() + filled, buffer.size() - filled, timeout);
    if (!got) return got.error();
    if (*got == 0) break;
    filled += *got;
  }
  return {boost::system::in_place_value, filled};
}

ChildResult<std::string> ChildProcess::read_stdout_to_end(ReadTimeout timeout) {
  return read_to_end(state_->stdout_pipe, timeout);
}

ChildResult<std::string> ChildProcess::read_stderr_to_end(ReadTimeout timeout) {
  return read_to_end(state_->stderr_pipe, timeout);
}

void ChildProcess::close_stdin() { close_handle(state_->stdin_pipe); }

void ChildProcess::close_stdout() { close_handle(state_->stdout_pipe); }

ChildResult<ExitStatus> ChildProcess::wait() {
  close_stdin();
  if (state_->reaped) return ChildError{false, "the child was already waited for"};
  if (WaitForSingleObject(state_->process, INFINITE) != WAIT_OBJECT_0) return last_failure();
  DWORD code = 0;
  if (!GetExitCodeProcess(state_->process, &code)) return last_failure();
  state_->reaped = true;
  // Windows has no signals: a killed or crashed process ends with a code too
  // (TerminateProcess's argument, or an NTSTATUS such as 0xC0000005).
  return ExitStatus{false, static_cast<int>(code)};
}

}  // namespace orvix::platform
