#include "support/registry.h"

// POSIX systems keep such settings in files; these stubs keep callers on one
// code path and never touch anything.
namespace orvix::support {

namespace {
platform::OsError unsupported() { return platform::OsError{0, kRegistryUnsupported}; }
}  // namespace

Result<std::optional<std::string>, platform::OsError> read_default_value(RegistryHive, RegistryView,
                                                                         const std::string&) {
  return unsupported();
}

Result<std::vector<RegistryValue>, platform::OsError> read_values(RegistryHive, RegistryView, const std::string&) {
  return unsupported();
}

Result<void, platform::OsError> write_default_value(RegistryHive, RegistryView, const std::string&,
                                                    const std::string&) {
  return unsupported();
}

Result<std::size_t, platform::OsError> count_entries(RegistryHive, RegistryView, const std::string&) {
  return unsupported();
}

Result<bool, platform::OsError> delete_key(RegistryHive, RegistryView, const std::string&) { return unsupported(); }

}  // namespace orvix::support
