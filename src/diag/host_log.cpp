#include "diag/host_log.h"

#include "platform/clock.h"
#include "platform/filesystem.h"
#include "platform/path.h"

namespace orvix::diag {

std::string format_log_line(std::uint64_t unix_ms, std::string_view method, std::string_view detail) {
  std::string line = std::to_string(unix_ms);
  line.append(" method=").append(method).append(" detail=").append(detail).push_back('\n');
  return line;
}

void write_host_log(const std::string& path, std::string_view method, std::string_view detail) {
  const std::string line = format_log_line(platform::unix_time_ms(), method, detail);
  // The directories exist on every call but the first: they are made only
  // when the open says they are missing, and the open after that decides.
  auto appended = platform::append_line_to_regular_file(path, line);
  if (!appended && appended.error().kind == platform::FileError::Kind::kNotFound) {
    platform::create_directories(platform::parent_path(path));
    (void)platform::append_line_to_regular_file(path, line);
  }
}

}  // namespace orvix::diag
