// What reading and appending do alike on every platform; the system calls
// are in file_calls.h.
#include "platform/filesystem.h"

#include <algorithm>
#include <utility>

#include "platform/file_calls.h"

namespace orvix::platform {

using file_calls::Access;

Result<std::string, FileError> read_regular_file(const std::string& path, std::size_t max_size) {
  auto file = file_calls::open_regular(path, Access::kRead);
  if (!file) return file.error();
  if (file->size > max_size) return FileError{FileError::Kind::kTooLarge, {}};

  // The file may grow while it is read: one byte past the limit is enough to
  // know, and no more is ever read.
  std::string content(static_cast<std::size_t>(file->size) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == content.size()) {
      if (filled > max_size) return FileError{FileError::Kind::kTooLarge, {}};
      content.resize(std::min(content.size() * 2, max_size + 1));
    }
    auto got = file_calls::read_some(file->handle, content.data() + filled, content.size() - filled);
    if (!got) return FileError{FileError::Kind::kOsError, std::move(got.error())};
    if (*got == 0) break;
    filled += *got;
  }
  content.resize(filled);
  return content;
}

Result<void, FileError> append_line_to_regular_file(const std::string& path, std::string_view line) {
  // Read access only to look at the last byte; a file this user may write
  // but not read is appended to without the look.
  bool readable = true;
  auto file = file_calls::open_regular(path, Access::kAppendAndRead);
  if (!file && file_calls::is_access_denied(file.error())) {
    readable = false;
    file = file_calls::open_regular(path, Access::kAppend);
  }
  if (!file) return file.error();
  // A line cut short (a full disk stopped its write) gets its line feed here,
  // in the same write, so the new line stays whole also beside other hosts.
  std::string own_line;
  if (readable && file_calls::last_byte(*file).value_or('\n') != '\n') {
    own_line.reserve(line.size() + 1);
    own_line.append(1, '\n').append(line);
    line = own_line;
  }
  if (auto written = file_calls::write_all(file->handle, line); !written) {
    return FileError{FileError::Kind::kOsError, std::move(written.error())};
  }
  return {};
}

}  // namespace orvix::platform
