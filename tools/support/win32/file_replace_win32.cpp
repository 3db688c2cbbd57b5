#include "support/file_replace.h"

#include <windows.h>

#include "platform/owned_handle.h"
#include "platform/process.h"
#include "platform/win32/handle_io.h"
#include "platform/win32/wide_text.h"

namespace orvix::support {

namespace {

Result<void, platform::OsError> write_new_file(const std::wstring& path, std::string_view bytes) {
  // Shared with no one until it is complete. The file takes its directory's
  // access control list: in the user's profile, the user's own.
  platform::OwnedHandle file(reinterpret_cast<std::intptr_t>(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!file.is_open()) return platform::last_os_error();
  std::size_t count = 0;
  if (auto written = platform::win32::write_all(platform::win32::as_handle(file.get()), bytes, count); !written)
    return written.error();
  // On the disk before the move names it: a power cut must not leave an
  // empty file where the old one was.
  if (!FlushFileBuffers(platform::win32::as_handle(file.get()))) return platform::last_os_error();
  return file.close();
}

// Puts `temporary` in the place of `target` in one step.
Result<void, platform::OsError> move_over(const std::wstring& temporary, const std::wstring& target) {
  if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
  platform::OsError move_error = platform::last_os_error();
  // A target that a reader holds open (even with delete sharing) cannot be
  // renamed over, but it can be replaced: the reader keeps the old content.
  if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) return move_error;
  if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return {};
  }
  return platform::last_os_error();
}

}  // namespace

Result<void, platform::OsError> replace_file(const std::string& path, std::string_view bytes) {
  // The pid keeps two processes publishing the same file from sharing a
  // temporary, and tells a later run whether the writer is still there.
  const std::wstring target = platform::win32::widen(path);
  const std::wstring temporary =
      platform::win32::widen(path + ".tmp-" + std::to_string(platform::current_process_id()));
  auto written = write_new_file(temporary, bytes);
  if (written) written = move_over(temporary, target);
  if (!written) DeleteFileW(temporary.c_str());
  return written;
}

Result<void, platform::OsError> remove_file(const std::string& path) {
  if (!DeleteFileW(platform::win32::widen(path).c_str())) return platform::last_os_error();
  return {};
}

}  // namespace orvix::support
