#include "platform/filesystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <utility>

#include "platform/file_calls.h"
#include "platform/posix/write_all_posix.h"

namespace orvix::platform {

namespace {

// O_NONBLOCK: opening a FIFO would otherwise wait for its other end. It
// changes nothing for the regular files that pass the type check.
// O_NOCTTY: a terminal device at the path must not become ours.
constexpr int kOpenFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// The failure of the last open. ENOENT: no entry (a dangling link
// included); ENOTDIR: a file where a directory should be. Everything else
// (permissions, loops, long names) says that something is there, or may be,
// that cannot be used.
FileError open_failure() {
  const int code = errno;
  // Not found is the common case (every status request while the runtime
  // is down): its code says it all, and the system's text, which costs a
  // message catalogue lookup and an allocation, is left out.
  if (code == ENOENT || code == ENOTDIR) return FileError{FileError::Kind::kNotFound, OsError{code, {}}};
  return FileError{FileError::Kind::kOsError, os_error_from_code(code)};
}

int fd_of(const OwnedHandle& file) { return static_cast<int>(file.get()); }

int flags_for(file_calls::Access access) {
  switch (access) {
    case file_calls::Access::kRead: return O_RDONLY;
    case file_calls::Access::kAppendAndRead: return O_RDWR | O_APPEND | O_CREAT;
    case file_calls::Access::kAppend: return O_WRONLY | O_APPEND | O_CREAT;
  }
  return O_RDONLY;
}

struct Facts {
  mode_t type = 0;
  std::uint64_t size = 0;
  file_calls::FileIdentity identity;
};

// Type, size and identity of an open file. statx is asked for nothing else:
// a stat that reports the times marks them as seen, and the system then
// updates them at the next write even within one clock tick, which costs
// every later append to the log a metadata write. fstat where there is no
// statx (other systems, an old kernel, a filter that refuses it).
Result<Facts, OsError> describe(int fd) {
#if defined(STATX_TYPE)
  struct statx info;  // filled by a call that succeeds; read only then
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_SIZE | STATX_INO, &info) == 0) {
    const std::uint64_t device = std::uint64_t{info.stx_dev_major} << 32 | info.stx_dev_minor;
    return Facts{static_cast<mode_t>(info.stx_mode & S_IFMT), info.stx_size, {true, device, info.stx_ino}};
  }
  if (errno != ENOSYS && errno != EPERM) return last_os_error();
#endif
  struct stat status {};
  if (::fstat(fd, &status) != 0) return last_os_error();
  return Facts{status.st_mode & S_IFMT,
               static_cast<std::uint64_t>(status.st_size),
               {true, static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)}};
}

}  // namespace

Result<OwnedHandle, FileError> file_calls::open_unchecked(const std::string& path, Access access) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags_for(access) | kOpenFlags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return open_failure();
  return OwnedHandle(fd);
}

Result<file_calls::OpenFile, FileError> file_calls::check_regular(OwnedHandle handle, Access) {
  auto facts = describe(fd_of(handle));
  if (!facts) return FileError{FileError::Kind::kOsError, std::move(facts.error())};
  // A directory has the system's own word; the rest (pipes, sockets,
  // devices) has none that fits.
  if (S_ISDIR(facts->type)) return FileError{FileError::Kind::kOsError, os_error_from_code(EISDIR)};
  if (!S_ISREG(facts->type)) return FileError{FileError::Kind::kNotRegular, {}};
  return OpenFile{std::move(handle), facts->size, facts->identity};
}

Result<file_calls::OpenFile, FileError> file_calls::open_regular(const std::string& path, Access access) {
  auto handle = open_unchecked(path, access);
  if (!handle) return handle.error();
  return check_regular(std::move(*handle), access);
}

bool file_calls::is_access_denied(const FileError& failure) {
  return failure.kind == FileError::Kind::kOsError && failure.os.code == EACCES;
}

Result<std::size_t, OsError> file_calls::read_some(const OwnedHandle& file, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_of(file), buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return last_os_error();
  }
}

Result<std::size_t, OsError> file_calls::read_at(const OwnedHandle& file, std::uint64_t offset, char* buffer,
                                                 std::size_t size) {
  for (;;) {
    const ssize_t n = ::pread(fd_of(file), buffer, size, static_cast<off_t>(offset));
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return last_os_error();
  }
}

Result<std::uint64_t, OsError> file_calls::size_of(const OwnedHandle& file) {
  auto facts = describe(fd_of(file));
  if (!facts) return facts.error();
  return facts->size;
}

// flock, not fcntl: a record lock would also be dropped when any other
// descriptor of the file in this process closes, and it needs write access.
file_calls::AppendLock file_calls::try_lock_appends(const OwnedHandle& file) {
  for (;;) {
    if (::flock(fd_of(file), LOCK_EX | LOCK_NB) == 0) return AppendLock::kTaken;
    if (errno == EWOULDBLOCK) return AppendLock::kBusy;
    if (errno != EINTR) return AppendLock::kUnavailable;
  }
}

// Closing the file, which follows at once, lets it go: the descriptor is the
// only one of its open file (close-on-exec, and the host never forks).
void file_calls::unlock_appends(const OwnedHandle&) {}

Result<void, OsError> file_calls::write_all(const OwnedHandle& file, std::string_view bytes) {
  std::size_t written = 0;
  return posix::write_all(fd_of(file), bytes, written);
}

bool path_exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

void create_directories(const std::string& path) {
  if (path.empty()) return;
  // Each prefix ending before a separator, then the whole path.
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string prefix = path.substr(0, i);
      if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
        // An ancestor we may not create can still exist; go on.
      }
    }
  }
}

}  // namespace orvix::platform
