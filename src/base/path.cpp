#include "base/path.h"

namespace orvix {

// The one fact of the system that paths need, chosen by CMake with the OS
// folder of the platform layer (47 is '/', 92 is '\\'), so that this layer
// below the platform needs no half per system.
char path_separator() { return static_cast<char>(ORVIX_PATH_SEPARATOR); }

namespace {
bool is_separator(char c) {
  // Windows accepts both separators; POSIX only '/'.
  return c == path_separator() || c == '/';
}
}  // namespace

std::string join_path(std::string_view base, std::string_view component) {
  std::string joined;
  joined.reserve(base.size() + 1 + component.size());
  joined.append(base);
  append_path(joined, component);
  return joined;
}

void append_path(std::string& path, std::string_view component) {
  if (!path.empty() && !is_separator(path.back())) path.push_back(path_separator());
  path.append(component);
}

void append_relative_path(std::string& path, std::string_view relative) {
  const std::size_t from = path.size();
  append_path(path, relative);
  if (path_separator() == '/') return;
  for (std::size_t i = from; i < path.size(); ++i) {
    if (path[i] == '/') path[i] = path_separator();
  }
}

std::string parent_path(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (is_separator(path[i - 1])) return std::string(path.substr(0, i - 1 == 0 ? 1 : i - 1));
  }
  return {};
}

}  // namespace orvix
