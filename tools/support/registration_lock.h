// An exclusive lock that runs of the tools hold while they read a file,
// merge into what it holds and replace it, so that two runs merging into
// the same file at once cannot both start from the same old content (and
// the one that renames last silently drop what the other added).
//
// Advisory: it binds only the runs that take it. Waiting is bounded; a run
// that holds it longer than the waiter's limit makes the waiter fail, never
// hang. A lock ends with its holder, also when the holder is killed.
#pragma once

#include <chrono>
#include <string>

#include "base/result.h"
#include "platform/owned_handle.h"

namespace orvix::support {

class RegistrationLock {
 public:
  // Locks the file at `path` (which need not exist; its folder must),
  // waiting up to `wait` while another run holds it. On POSIX the lock is
  // the folder's (flock on it: no lock file is left beside the file, and a
  // folder that another run removes and makes again while this one waits is
  // locked afresh); on Windows a file "<path>.lock" opened for this run
  // alone and deleted when it closes. Fails with kPeer when the wait passes,
  // kSystem with the OS text when the lock cannot be taken at all (no right
  // to open the folder or to make the file: a run that may not write there
  // cannot replace the file either).
  [[nodiscard]] static Result<RegistrationLock> acquire(const std::string& path, std::chrono::milliseconds wait);

  RegistrationLock(RegistrationLock&&) noexcept = default;
  RegistrationLock& operator=(RegistrationLock&&) noexcept = default;

 private:
  explicit RegistrationLock(platform::OwnedHandle handle) : handle_(std::move(handle)) {}
  platform::OwnedHandle handle_;
};

}  // namespace orvix::support
