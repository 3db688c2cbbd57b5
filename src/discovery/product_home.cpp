#include "discovery/product_home.h"

#include <string_view>

#include "base/path.h"
#include "platform/environment.h"

namespace orvix::discovery {

namespace {

// Writes ORVIX_HOME as it stands, else <HOME>/.orvix, else (when allowed)
// <USERPROFILE>/.orvix, and then `relative` ('/' between its components),
// into `out`. The buffer is the caller's and keeps its capacity: a path
// resolved afresh for every request costs no allocation once it has grown.
bool resolve_under_home(std::string& out, bool consult_userprofile, std::string_view relative) {
  out.clear();
  if (!platform::append_environment_variable("ORVIX_HOME", out)) {
    if (platform::append_environment_variable("HOME", out) ||
        (consult_userprofile && platform::append_environment_variable("USERPROFILE", out))) {
      append_path(out, ".orvix");
    } else {
      return false;
    }
  }
  append_relative_path(out, relative);
  return true;
}

std::optional<std::string> owned(bool resolved, std::string& path) {
  if (!resolved) return std::nullopt;
  return std::move(path);
}

}  // namespace

bool resolve_descriptor_path(std::string& out) {
  return resolve_under_home(out, /*consult_userprofile=*/true, "data/runtime/chrome/connection.json");
}

bool resolve_log_path(std::string& out) {
  return resolve_under_home(out, /*consult_userprofile=*/false, "logs/chrome-native-host.log");
}

std::optional<std::string> resolve_descriptor_path() {
  std::string path;
  return owned(resolve_descriptor_path(path), path);
}

std::optional<std::string> resolve_log_path() {
  std::string path;
  return owned(resolve_log_path(path), path);
}

}  // namespace orvix::discovery
