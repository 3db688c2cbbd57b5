#include "platform/filesystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "platform/owned_handle.h"
#include "platform/posix/write_all_posix.h"

namespace orvix::platform {

namespace {

// O_NONBLOCK: opening a FIFO would otherwise wait for its other end. It
// changes nothing for the regular files that pass the type check.
// O_NOCTTY: a terminal device at the path must not become ours.
constexpr int kOpenFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

FileError os_failure(OsError error) {
  // ENOENT: no entry (a dangling link included); ENOTDIR: a file where a
  // directory should be. Everything else (permissions, loops, long names)
  // says that something is there, or may be, that cannot be used.
  const bool not_found = error.code == ENOENT || error.code == ENOTDIR;
  return FileError{not_found ? FileError::Kind::kNotFound : FileError::Kind::kOsError, std::move(error)};
}

int fd_of(const OwnedHandle& file) { return static_cast<int>(file.get()); }

struct OpenFile {
  OwnedHandle handle;
  off_t size = 0;
};

// Opens `path` with `flags` and checks that it is a regular file; the
// descriptor is closed again when it is not. Returns it and the file's size.
Result<OpenFile, FileError> open_regular(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | kOpenFlags, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return os_failure(last_os_error());
  OpenFile file{OwnedHandle(fd)};
  struct stat info {};
  if (::fstat(fd, &info) != 0) return FileError{FileError::Kind::kOsError, last_os_error()};
  // A directory has the system's own word; the rest (pipes, sockets,
  // devices) has none that fits.
  if (S_ISDIR(info.st_mode)) return FileError{FileError::Kind::kOsError, os_error_from_code(EISDIR)};
  if (!S_ISREG(info.st_mode)) return FileError{FileError::Kind::kNotRegular, {}};
  file.size = info.st_size;
  return file;
}

// Whether the file's last byte is there and is no line feed. The size is
// taken afresh: other hosts may have appended since the open. Any failure
// reads as "no": the line then goes out as it is.
bool ends_inside_a_line(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_size <= 0) return false;
  char last = '\n';
  ssize_t got;
  do {
    got = ::pread(fd, &last, 1, info.st_size - 1);
  } while (got < 0 && errno == EINTR);
  return got == 1 && last != '\n';
}

}  // namespace

Result<std::string, FileError> read_regular_file(const std::string& path, std::size_t max_size) {
  auto file = open_regular(path, O_RDONLY);
  if (!file) return file.error();
  const auto size = static_cast<std::size_t>(file->size);
  if (size > max_size) return FileError{FileError::Kind::kTooLarge, {}};

  // The file may grow while it is read: one byte past the limit is enough to
  // know, and no more is ever read.
  std::string content(size + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == content.size()) {
      if (filled > max_size) return FileError{FileError::Kind::kTooLarge, {}};
      content.resize(std::min(content.size() * 2, max_size + 1));
    }
    const ssize_t n = ::read(fd_of(file->handle), content.data() + filled, content.size() - filled);
    if (n > 0) {
      filled += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      return FileError{FileError::Kind::kOsError, last_os_error()};
    }
  }
  content.resize(filled);
  return {boost::system::in_place_value, std::move(content)};
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

Result<void, FileError> append_line_to_regular_file(const std::string& path, std::string_view line) {
  // Read access only to look at the last byte; a file this user may write
  // but not read is appended to without the look.
  bool readable = true;
  auto opened = open_regular(path, O_RDWR | O_APPEND | O_CREAT, 0666);
  if (!opened && opened.error().os.code == EACCES) {
    readable = false;
    opened = open_regular(path, O_WRONLY | O_APPEND | O_CREAT, 0666);
  }
  if (!opened) return opened.error();
  const int fd = fd_of(opened->handle);
  std::string own_line;
  if (readable && ends_inside_a_line(fd)) {
    own_line.reserve(line.size() + 1);
    own_line.append(1, '\n').append(line);
    line = own_line;
  }
  std::size_t written = 0;
  if (auto result = posix::write_all(fd, line, written); !result) {
    return FileError{FileError::Kind::kOsError, result.error()};
  }
  return {};
}

}  // namespace orvix::platform
