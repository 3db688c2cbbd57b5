#include "support/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/owned_handle.h"
#include "platform/posix/write_all_posix.h"
#include "platform/process.h"

namespace orvix::platform {

namespace {

// Gives the new file its mode and content, then closes it.
Result<void, OsError> fill_and_close(OwnedHandle& file, std::string_view bytes, mode_t mode) {
  const int fd = static_cast<int>(file.get());
  // The umask may take bits away; the mode asked for is the mode meant.
  if (::fchmod(fd, mode) != 0) return last_os_error();
  std::size_t count = 0;
  if (auto written = posix::write_all(fd, bytes, count); !written) return written.error();
  return file.close();
}

Result<void, OsError> replace_with_mode(const std::string& path, std::string_view bytes, mode_t mode) {
  // The pid keeps two processes publishing the same file from sharing a temporary.
  const std::string temporary = path + ".tmp-" + std::to_string(current_process_id());
  OwnedHandle file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (!file.is_open()) return last_os_error();
  auto published = fill_and_close(file, bytes, mode);
  if (published && ::rename(temporary.c_str(), path.c_str()) != 0) published = last_os_error();
  if (!published) ::unlink(temporary.c_str());
  return published;
}

}  // namespace

Result<void, OsError> replace_file(const std::string& path, std::string_view bytes) {
  return replace_with_mode(path, bytes, 0600);
}

Result<void, OsError> replace_shared_file(const std::string& path, std::string_view bytes) {
  return replace_with_mode(path, bytes, 0644);
}

Result<void, OsError> replace_executable_file(const std::string& path, std::string_view bytes) {
  return replace_with_mode(path, bytes, 0755);
}

Result<void, OsError> remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return last_os_error();
  return {};
}

}  // namespace orvix::platform
