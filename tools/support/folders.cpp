#include "support/folders.h"

#include <filesystem>
#include <system_error>

namespace orvix::support {

namespace {

namespace fs = std::filesystem;

fs::path utf8_path(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string utf8_text(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

Result<std::vector<std::string>, platform::OsError> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(utf8_path(folder), error), end; !error && it != end; it.increment(error)) {
    names.push_back(utf8_text(it->path().filename()));
  }
  if (error) return platform::os_error_from_code(error.value());
  return names;
}

bool is_real_folder(const std::string& path) {
  std::error_code error;
  return fs::is_directory(fs::symlink_status(utf8_path(path), error));
}

std::string file_name(const std::string& path) { return utf8_text(utf8_path(path).filename()); }

bool access_refused(const std::string& path) {
  std::error_code error;
  (void)fs::status(utf8_path(path), error);
  return error == std::errc::permission_denied;
}

Result<void, platform::OsError> remove_empty_folder(const std::string& path) {
  std::error_code error;
  fs::remove(utf8_path(path), error);
  if (error) return platform::os_error_from_code(error.value());
  return {};
}

}  // namespace orvix::support
