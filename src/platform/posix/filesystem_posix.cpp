#include "platform/filesystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

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

// Closes the descriptor when the scope ends, on every path.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() { ::close(fd_); }
  int fd() const { return fd_; }

 private:
  int fd_;
};

using Opened = boost::system::result<std::pair<int, off_t>, FileError>;

// Opens `path` with `flags` and checks that it is a regular file; the
// descriptor is closed again when it is not. Returns it and the file's size.
Opened open_regular(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | kOpenFlags, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return os_failure(last_os_error());
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    OsError error = last_os_error();
    ::close(fd);
    return FileError{FileError::Kind::kOsError, std::move(error)};
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    // A directory has the system's own word; the rest (pipes, sockets,
    // devices) has none that fits.
    if (S_ISDIR(info.st_mode)) return FileError{FileError::Kind::kOsError, os_error_from_code(EISDIR)};
    return FileError{FileError::Kind::kNotRegular, {}};
  }
  return std::pair<int, off_t>{fd, info.st_size};
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

boost::system::result<std::string, FileError> read_regular_file(const std::string& path, std::size_t max_size) {
  auto opened = open_regular(path, O_RDONLY);
  if (!opened) return opened.error();
  OpenFile file(opened->first);
  const auto size = static_cast<std::size_t>(opened->second);
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
    const ssize_t n = ::read(file.fd(), content.data() + filled, content.size() - filled);
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

boost::system::result<void, FileError> append_line_to_regular_file(const std::string& path, std::string_view line) {
  // Read access only to look at the last byte; a file this user may write
  // but not read is appended to without the look.
  bool readable = true;
  auto opened = open_regular(path, O_RDWR | O_APPEND | O_CREAT, 0666);
  if (!opened && opened.error().os.code == EACCES) {
    readable = false;
    opened = open_regular(path, O_WRONLY | O_APPEND | O_CREAT, 0666);
  }
  if (!opened) return opened.error();
  OpenFile file(opened->first);
  std::string own_line;
  if (readable && ends_inside_a_line(file.fd())) {
    own_line.reserve(line.size() + 1);
    own_line.append(1, '\n').append(line);
    line = own_line;
  }
  std::size_t written = 0;
  if (auto result = posix::write_all(file.fd(), line, written); !result) {
    return FileError{FileError::Kind::kOsError, result.error()};
  }
  return {};
}

}  // namespace orvix::platform
