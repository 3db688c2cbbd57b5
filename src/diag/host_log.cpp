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
  // Whether the directories could be made is decided by the open that follows.
  platform::create_directories(platform::parent_path(path));
  (void)platform::append_to_file(path, format_log_line(platform::unix_time_ms(), method, detail));
}

}  // namespace orvix::diag
