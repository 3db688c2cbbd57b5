#include "platform/std_streams.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/owned_handle.h"
#include "platform/win32/handle_io.h"

namespace orvix::platform {

namespace {

using win32::as_handle;

bool is_missing(HANDLE handle) { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }

// A missing standard handle is replaced by the null device, so that no
// library writes into (or reads from) whatever handle comes next.
HANDLE occupy_if_missing(DWORD which, DWORD access) {
  HANDLE current = GetStdHandle(which);
  if (!is_missing(current)) return current;
  HANDLE null_device = CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (null_device != INVALID_HANDLE_VALUE) SetStdHandle(which, null_device);
  return null_device;
}

// The C runtime's error for its last failed call: the OS code it kept, if any.
OsError last_crt_error() {
  return os_error_from_code(_doserrno != 0 ? static_cast<int>(_doserrno) : ERROR_INVALID_HANDLE);
}

// Points the C runtime's descriptor 1 at `target`, a copy of which it then owns.
Result<void, OsError> redirect_c_stdout(HANDLE target) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), target, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return last_os_error();
  }
  OwnedHandle owned(reinterpret_cast<std::intptr_t>(copy));
  _doserrno = 0;
  const int fd = _open_osfhandle(owned.get(), _O_WRONLY | _O_BINARY);
  if (fd < 0) return last_crt_error();
  owned.release();  // the C runtime's now
  if (fd == 1) return {};
  const bool moved = _dup2(fd, 1) == 0;
  OsError error = moved ? OsError{} : last_crt_error();
  _close(fd);
  if (!moved) return error;
  return {};
}

}  // namespace

Result<ChannelHandles, OsError> guard_standard_streams() {
  // Frames are binary: the C runtime's text mode would turn LF into CRLF and
  // stop reading at 0x1A. The channel reads and writes the handles directly,
  // but anything else that touches the C streams must not translate either.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);

  HANDLE input = occupy_if_missing(STD_INPUT_HANDLE, GENERIC_READ);
  HANDLE error = occupy_if_missing(STD_ERROR_HANDLE, GENERIC_WRITE);

  // Frames go through a private duplicate of standard output; the standard
  // output handle and the C runtime's descriptor 1 then lead to standard
  // error, so a stray write by any library cannot corrupt a frame. With no
  // standard output at all, the first reply fails with the system's error.
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE frames = INVALID_HANDLE_VALUE;
  if (!is_missing(output) &&
      !DuplicateHandle(GetCurrentProcess(), output, GetCurrentProcess(), &frames, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return last_os_error();
  }
  std::fflush(stdout);
  if (is_missing(error)) return last_os_error();
  SetStdHandle(STD_OUTPUT_HANDLE, error);
  if (auto redirected = redirect_c_stdout(error); !redirected) {
    close_stream(reinterpret_cast<StreamHandle>(frames));
    return redirected.error();
  }
  return ChannelHandles{reinterpret_cast<StreamHandle>(input), reinterpret_cast<StreamHandle>(frames)};
}

Result<std::size_t, OsError> read_stream(StreamHandle handle, char* buffer, std::size_t size) {
  const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  DWORD got = 0;
  if (ReadFile(as_handle(handle), buffer, wanted, &got, nullptr)) return std::size_t{got};
  const DWORD code = GetLastError();
  // A writer that closed its end is the end of the conversation, not a failure.
  if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) return std::size_t{0};
  return os_error_from_code(static_cast<int>(code));
}

Result<void, OsError> write_stream(StreamHandle handle, const char* data, std::size_t size, std::size_t& written) {
  // A reader that went away shows up as 109 (pipe closed), 232 (pipe being
  // closed) or, under Wine, 233 (no process at the other end): the error
  // carries the code as it came, and the channel ends with its text.
  return win32::write_all(as_handle(handle), std::string_view(data, size), written);
}

// WriteFile hands the bytes to the system; nothing is held back in this
// process. (FlushFileBuffers on a pipe would wait for the reader.)
Result<void, OsError> flush_stream(StreamHandle) { return {}; }

void write_standard_error(std::string_view text) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (is_missing(error)) return;
  std::size_t written = 0;
  (void)write_stream(reinterpret_cast<StreamHandle>(error), text.data(), text.size(), written);
}

void close_stream(StreamHandle handle) {
  if (!is_missing(as_handle(handle))) OwnedHandle(handle).reset();
}

}  // namespace orvix::platform
