// What reading and appending do alike on every platform; the system calls
// are in file_calls.h.
#include "platform/filesystem.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "platform/file_calls.h"

namespace orvix::platform {

using file_calls::Access;
using file_calls::AppendLock;

namespace {

// How long an append waits for other hosts to let the lock go before it
// writes without it; they hold it only across one look and one write.
constexpr std::chrono::microseconds kAppendLockWait = std::chrono::seconds(2);
constexpr std::chrono::microseconds kFirstPause{50};
constexpr std::chrono::microseconds kLongestPause{5000};

// Whether the append lock was taken. The wait is counted in the pauses asked
// for, so the loop ends after a fixed number of tries however slow the sleeps.
bool lock_appends(const OwnedHandle& file) {
  std::chrono::microseconds pause = kFirstPause;
  for (std::chrono::microseconds waited{0};; waited += pause, pause = std::min(pause * 2, kLongestPause)) {
    switch (file_calls::try_lock_appends(file)) {
      case AppendLock::kTaken: return true;
      case AppendLock::kUnavailable: return false;
      case AppendLock::kBusy: break;
    }
    if (waited >= kAppendLockWait) return false;
    std::this_thread::sleep_for(pause);
  }
}

// The file's last byte as it is now; nothing for an empty file or one that
// cannot be read. The size seen at the open is tried first: a read from the
// byte before that end which gets that byte alone shows the end unchanged,
// so the usual case costs one read.
std::optional<char> last_byte(const file_calls::OpenFile& file) {
  char tail[2];
  const std::size_t before_end = file.size == 0 ? 0 : 1;
  auto got = file_calls::read_at(file.handle, file.size - before_end, tail, before_end + 1);
  if (!got) return std::nullopt;
  if (*got == before_end) return before_end == 0 ? std::nullopt : std::optional<char>(tail[0]);
  // Another writer moved the end between the open and the lock.
  auto size = file_calls::size_of(file.handle);
  if (!size || *size == 0) return std::nullopt;
  got = file_calls::read_at(file.handle, *size - 1, tail, 1);
  if (!got || *got != 1) return std::nullopt;
  return tail[0];
}

}  // namespace

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
  // A write in progress is seen half done by the look below (the file grows
  // page by page), and the line feed it would add for a cut line would then
  // leave an empty line: hosts hold the lock across the look and the write.
  // Without it (no locks on this file system, a holder that does not let
  // go) the line is still written, as it was before there was a lock.
  const bool locked = lock_appends(file->handle);
  // A line cut short (a full disk stopped its write) gets its line feed here,
  // in the same write, so the new line stays whole also beside other hosts.
  std::string own_line;
  if (readable && last_byte(*file).value_or('\n') != '\n') {
    own_line.reserve(line.size() + 1);
    own_line.append(1, '\n').append(line);
    line = own_line;
  }
  auto written = file_calls::write_all(file->handle, line);
  if (locked) file_calls::unlock_appends(file->handle);
  if (!written) return FileError{FileError::Kind::kOsError, std::move(written.error())};
  return {};
}

}  // namespace orvix::platform
