#include "diag/host_log.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "base/path.h"
#include "platform/clock.h"
#include "platform/filesystem.h"

namespace orvix::diag {

namespace {
constexpr std::string_view kMethodTag = " method=";
constexpr std::string_view kDetailTag = " detail=";
constexpr std::size_t kMaxTimeDigits = std::numeric_limits<std::uint64_t>::digits10 + 1;
// Lines of ordinary events fit on the stack; a longer one goes through the heap.
constexpr std::size_t kStackLine = 512;

constexpr std::size_t line_capacity(std::string_view method, std::string_view detail) {
  return kMaxTimeDigits + kMethodTag.size() + method.size() + kDetailTag.size() + detail.size() + 1;
}

char* put(char* out, std::string_view text) {
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// Writes the line at `out`, which holds line_capacity() bytes; returns its end.
char* write_line(char* out, std::uint64_t unix_ms, std::string_view method, std::string_view detail) {
  out = std::to_chars(out, out + kMaxTimeDigits, unix_ms).ptr;
  out = put(put(put(put(out, kMethodTag), method), kDetailTag), detail);
  *out++ = '\n';
  return out;
}

void append_line(const std::string& path, std::string_view line) {
  // The directories exist on every call but the first: they are made only
  // when the open says they are missing, and the open after that decides.
  auto appended = platform::append_line_to_regular_file(path, line);
  if (!appended && appended.error().kind == platform::FileError::Kind::kNotFound) {
    platform::create_directories(parent_path(path));
    (void)platform::append_line_to_regular_file(path, line);
  }
}
}  // namespace

std::string format_log_line(std::uint64_t unix_ms, std::string_view method, std::string_view detail) {
  std::string line(line_capacity(method, detail), '\0');
  line.resize(static_cast<std::size_t>(write_line(line.data(), unix_ms, method, detail) - line.data()));
  return line;
}

void write_host_log(const std::string& path, std::string_view method, std::string_view detail) {
  const std::uint64_t now = platform::unix_time_ms();
  if (line_capacity(method, detail) <= kStackLine) {
    char line[kStackLine];
    append_line(path, std::string_view(line, static_cast<std::size_t>(write_line(line, now, method, detail) - line)));
  } else {
    append_line(path, format_log_line(now, method, detail));
  }
}

}  // namespace orvix::diag
