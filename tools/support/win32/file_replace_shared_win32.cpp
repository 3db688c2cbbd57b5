#include "support/file_replace.h"

namespace orvix::support {

// Windows files take their folder's permissions and carry no execute bit, so
// a shared or executable file needs nothing beyond the ordinary replacement.
Result<void, platform::OsError> replace_shared_file(const std::string& path, std::string_view bytes) {
  return replace_file(path, bytes);
}

Result<void, platform::OsError> replace_executable_file(const std::string& path, std::string_view bytes) {
  return replace_file(path, bytes);
}

}  // namespace orvix::support
