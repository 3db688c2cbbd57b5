#include "support/registry.h"

// POSIX systems keep such settings in files; these stubs keep callers on one
// code path and never touch anything.
namespace orvix::platform {

namespace {
OsError unsupported() { return OsError{0, kRegistryUnsupported}; }
}  // namespace

Result<std::optional<std::string>, OsError> read_default_value(RegistryHive, RegistryView, const std::string&) {
  return unsupported();
}

Result<std::vector<RegistryValue>, OsError> read_values(RegistryHive, RegistryView, const std::string&) {
  return unsupported();
}

Result<void, OsError> write_default_value(RegistryHive, RegistryView, const std::string&, const std::string&) {
  return unsupported();
}

Result<std::size_t, OsError> count_entries(RegistryHive, RegistryView, const std::string&) { return unsupported(); }

Result<bool, OsError> delete_key(RegistryHive, RegistryView, const std::string&) { return unsupported(); }

}  // namespace orvix::platform
