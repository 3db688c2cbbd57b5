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
// cannot be read. The size seen at the check is tried first: a read from the
// byte before that end which gets that byte alone shows the end unchanged,
// so the usual case costs one read.
std::optional<char> last_byte(const file_calls::OpenFile& file) {
  char tail[2];
  const std::size_t before_end = file.size == 0 ? 0 : 1;
  auto got = file_calls::read_at(file.handle, file.size - before_end, tail, before_end + 1);
  if (!got) return std::nullopt;
  if (*got == before_end) return before_end == 0 ? std::nullopt : std::optional<char>(tail[0]);
  // A writer that does not take the lock moved the end since the check.
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
  // Where this thread's last whole line under the lock ended, in which file.
  // While the file still ends there, that line feed is its last byte, and
  // the look below is not needed: a host that logs line after line reads
  // nothing. Any other writer (a line, a cut one, a file put in its place)
  // moves the end or changes the file, and then the look decides.
  struct LastEnd {
    file_calls::FileIdentity file;
    std::uint64_t offset = 0;
  };
  thread_local LastEnd last_end;

  // Read access only to look at the last byte; a file this user may write
  // but not read is appended to without the look.
  Access access = Access::kAppendAndRead;
  auto handle = file_calls::open_unchecked(path, access);
  if (!handle && file_calls::is_access_denied(handle.error())) {
    access = Access::kAppend;
    handle = file_calls::open_unchecked(path, access);
  }
  if (!handle) return handle.error();
  // A write in progress is seen half done by the look below (the file grows
  // page by page), and the line feed it would add for a cut line would then
  // leave an empty line: hosts hold the lock across the look and the write.
  // It is taken before the size is read, so the size is the end the write
  // follows. Taking it does not touch the file, which may yet prove to be no
  // regular one. Without it (no locks on this file system, a holder that
  // does not let go) the line is still written, as it was before there was a
  // lock.
  const bool locked = lock_appends(*handle);
  auto file = file_calls::check_regular(std::move(*handle), access);
  if (!file) return file.error();
  struct Unlock {
    const OwnedHandle& handle;
    bool locked;
    ~Unlock() {
      if (locked) file_calls::unlock_appends(handle);
    }
  } unlock{file->handle, locked};

  // A line cut short (a full disk stopped its write) gets its line feed here,
  // in the same write, so the new line stays whole also beside other hosts.
  const bool ends_where_we_left_it =
      locked && file->identity.known && file->identity == last_end.file && file->size == last_end.offset;
  last_end = {};
  std::string own_line;
  if (access == Access::kAppendAndRead && !ends_where_we_left_it && last_byte(*file).value_or('\n') != '\n') {
    own_line.reserve(line.size() + 1);
    own_line.append(1, '\n').append(line);
    line = own_line;
  }
  auto written = file_calls::write_all(file->handle, line);
  if (!written) return FileError{FileError::Kind::kOsError, std::move(written.error())};
  if (locked && !line.empty() && line.back() == '\n') last_end = {file->identity, file->size + line.size()};
  return {};
}

}  // namespace orvix::platform
