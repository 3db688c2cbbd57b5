#include "support/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/path.h"
#include "platform/owned_handle.h"
#include "platform/posix/write_all_posix.h"
#include "platform/process.h"
#include "support/posix/retry_posix.h"

namespace orvix::support {

namespace {

// Gives the new file its mode and content, flushes it to the disk, then
// closes it: a rename can reach the disk before the data it names, and a
// power cut then leaves an empty file where the old one was.
Result<void, platform::OsError> fill_and_close(platform::OwnedHandle& file, std::string_view bytes, mode_t mode) {
  const int fd = static_cast<int>(file.get());
  // The umask may take bits away; the mode asked for is the mode meant.
  if (posix::retry_interrupted([&] { return ::fchmod(fd, mode); }) != 0) return platform::last_os_error();
  std::size_t count = 0;
  if (auto written = platform::posix::write_all(fd, bytes, count); !written) return written.error();
  if (posix::retry_interrupted([&] { return ::fsync(fd); }) != 0) return platform::last_os_error();
  // The content is on the disk: a close that a signal interrupted has lost
  // nothing (and the descriptor is gone all the same).
  auto closed = file.close();
  if (!closed && closed.error().code == EINTR) return {};
  return closed;
}

// Flushes the folder's entries, so that the rename in it lasts a power cut.
// Best effort: the file is in place already, and some file systems refuse
// to flush a folder (EINVAL) where they need no such flush.
void flush_folder(const std::string& path) {
  const std::string parent = parent_path(path);
  const std::string folder = parent.empty() ? std::string(".") : parent;
  platform::OwnedHandle handle(
      posix::retry_interrupted([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (handle.is_open()) (void)posix::retry_interrupted([&] { return ::fsync(static_cast<int>(handle.get())); });
}

Result<void, platform::OsError> replace_with_mode(const std::string& path, std::string_view bytes, mode_t mode) {
  // The pid keeps two processes publishing the same file from sharing a
  // temporary, and tells a later run whether the writer is still there.
  const std::string temporary = path + ".tmp-" + std::to_string(platform::current_process_id());
  platform::OwnedHandle file(posix::retry_interrupted(
      [&] { return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode); }));
  if (!file.is_open()) return platform::last_os_error();
  auto published = fill_and_close(file, bytes, mode);
  if (published && posix::retry_interrupted([&] { return ::rename(temporary.c_str(), path.c_str()); }) != 0) {
    published = platform::last_os_error();
  }
  if (!published) {
    const platform::OsError failure = published.error();
    (void)posix::retry_interrupted([&] { return ::unlink(temporary.c_str()); });
    return failure;
  }
  flush_folder(path);
  return published;
}

}  // namespace

Result<void, platform::OsError> replace_file(const std::string& path, std::string_view bytes) {
  return replace_with_mode(path, bytes, 0600);
}

Result<void, platform::OsError> replace_shared_file(const std::string& path, std::string_view bytes) {
  return replace_with_mode(path, bytes, 0644);
}

Result<void, platform::OsError> replace_executable_file(const std::string& path, std::string_view bytes) {
  return replace_with_mode(path, bytes, 0755);
}

Result<void, platform::OsError> remove_file(const std::string& path) {
  if (posix::retry_interrupted([&] { return ::unlink(path.c_str()); }) != 0) return platform::last_os_error();
  return {};
}

}  // namespace orvix::support
