#include "support/registration_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "base/path.h"
#include "platform/os_error.h"
#include "support/posix/retry_posix.h"

namespace orvix::support {

namespace {

// Whether `folder` is still the one `handle` holds (not removed, or removed
// and made again, while this run waited for its lock).
bool still_there(const std::string& folder, int handle) {
  struct stat held {};
  struct stat named {};
  return posix::retry_interrupted([&] { return ::fstat(handle, &held); }) == 0 &&
         posix::retry_interrupted([&] { return ::stat(folder.c_str(), &named); }) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

Result<RegistrationLock> RegistrationLock::acquire(const std::string& path, std::chrono::milliseconds wait) {
  const std::string parent = parent_path(path);
  const std::string folder = parent.empty() ? std::string(".") : parent;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    platform::OwnedHandle handle(
        posix::retry_interrupted([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (!handle.is_open()) return Failure(Failure::Kind::kSystem, platform::last_os_error().text);
    const int fd = static_cast<int>(handle.get());
    if (posix::retry_interrupted([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0) {
      if (still_there(folder, fd)) return RegistrationLock(std::move(handle));
      continue;  // a run removed the folder while this one waited: lock the one there now
    }
    if (errno != EWOULDBLOCK) return Failure(Failure::Kind::kSystem, platform::last_os_error().text);
    if (std::chrono::steady_clock::now() >= deadline) return Failure(Failure::Kind::kPeer, "still locked");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace orvix::support
