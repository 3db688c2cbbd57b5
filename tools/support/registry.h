// The Windows registry, as far as registering a native-messaging host needs
// it: the default value of a key, in one hive and one registry view.
//
// Keys are paths below the hive ("Software\\Vendor\\..."). The 64-bit and
// 32-bit views differ for HKLM\Software on 64-bit Windows; programs read one
// or both, so writers name the view. Every call blocks only for the registry
// and fails with the system's text. On other systems every call fails with
// kRegistryUnsupported and nothing is touched (registry_posix.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::support {

enum class RegistryHive { current_user, local_machine };
enum class RegistryView { bits64, bits32 };

inline constexpr const char* kRegistryUnsupported = "This system has no registry.";

// The default value (a string) of `key`; nothing when the key or its default
// value is missing. A value that is not a string is an error.
[[nodiscard]] Result<std::optional<std::string>, platform::OsError> read_default_value(RegistryHive hive,
                                                                                       RegistryView view,
                                                                                       const std::string& key);

// One named value of a key: a string (REG_SZ, REG_EXPAND_SZ) or a number (REG_DWORD).
struct RegistryValue {
  std::string name;
  std::variant<std::string, std::uint32_t> data;
};

// The named values of `key` that hold a string or a number, in the order the
// registry lists them (other types are left out); empty when the key is missing.
[[nodiscard]] Result<std::vector<RegistryValue>, platform::OsError> read_values(RegistryHive hive, RegistryView view,
                                                                                const std::string& key);

// Creates `key` with its missing parents and sets its default value to
// `value` (REG_SZ).
[[nodiscard]] Result<void, platform::OsError> write_default_value(RegistryHive hive, RegistryView view,
                                                                  const std::string& key, const std::string& value);

// How many subkeys and values `key` holds together (a default value that is
// set counts); 0 when the key is missing.
[[nodiscard]] Result<std::size_t, platform::OsError> count_entries(RegistryHive hive, RegistryView view,
                                                                   const std::string& key);

// Deletes `key` (which must have no subkeys). Returns false when it was not
// there.
[[nodiscard]] Result<bool, platform::OsError> delete_key(RegistryHive hive, RegistryView view, const std::string& key);

}  // namespace orvix::support
