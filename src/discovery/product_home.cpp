#include "discovery/product_home.h"

#include "platform/environment.h"
#include "platform/path.h"

namespace orvix::discovery {

namespace {

// ORVIX_HOME as it stands, else <HOME>/.orvix, else (when allowed) <USERPROFILE>/.orvix.
std::optional<std::string> product_home(bool consult_userprofile) {
  if (auto home = platform::environment_variable("ORVIX_HOME")) return home;
  if (auto home = platform::environment_variable("HOME")) return platform::join_path(*home, ".orvix");
  if (consult_userprofile) {
    if (auto home = platform::environment_variable("USERPROFILE")) return platform::join_path(*home, ".orvix");
  }
  return std::nullopt;
}

// The whole path in one allocation: it is resolved afresh for every request.
std::string join_all(std::string path, std::initializer_list<std::string_view> components) {
  std::size_t size = path.size();
  for (std::string_view component : components) size += 1 + component.size();
  path.reserve(size);
  for (std::string_view component : components) platform::append_path(path, component);
  return path;
}

}  // namespace

std::optional<std::string> resolve_descriptor_path() {
  auto home = product_home(/*consult_userprofile=*/true);
  if (!home) return std::nullopt;
  return join_all(std::move(*home), {"data", "runtime", "chrome", "connection.json"});
}

std::optional<std::string> resolve_log_path() {
  auto home = product_home(/*consult_userprofile=*/false);
  if (!home) return std::nullopt;
  return join_all(std::move(*home), {"logs", "chrome-native-host.log"});
}

}  // namespace orvix::discovery
