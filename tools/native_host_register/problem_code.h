// The problems doctor names, one enum, each with the stable code that
// scripts read in doctor --json. The fix of each is built in doctor_fix.cpp
// (fix_for, a switch over every code without a default: a new code without
// a fix is a compiler warning) or, for the problems of a browser rather than
// of a registration, where the problem is found (browser_verdict.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace orvix::register_tool {

enum class ProblemCode {
  // The manifest itself (host_manifest.h).
  manifest_invalid,
  name_mismatch,
  type_invalid,
  path_missing,
  path_not_absolute,
  origins_invalid,
  origin_missing_slash,
  host_path_percent,
  // The files around it (doctor.cpp).
  manifest_unreadable,
  manifest_not_yours,
  wrapper_unknown,
  wrapper_missing,
  wrapper_not_executable,
  host_missing,
  host_not_executable,
  host_on_noexec_mount,
  host_wrong_system,
  host_replaceable_by_users,
  host_failed,
  registry_unreadable,
  registry_manifest_relative,
  registry_manifest_missing,
  flatpak_permission_missing,
  // The browser as it looks for the host (browser_verdict.cpp).
  user_level_hosts_disabled,
  not_registered,
  host_blocked,
  extension_not_admitted,
  no_admitted_extension_installed,
};

struct ProblemName {
  ProblemCode code;
  std::string_view name;
};

// In the enum's order.
inline constexpr std::array kProblemNames{
    ProblemName{ProblemCode::manifest_invalid, "manifest_invalid"},
    ProblemName{ProblemCode::name_mismatch, "name_mismatch"},
    ProblemName{ProblemCode::type_invalid, "type_invalid"},
    ProblemName{ProblemCode::path_missing, "path_missing"},
    ProblemName{ProblemCode::path_not_absolute, "path_not_absolute"},
    ProblemName{ProblemCode::origins_invalid, "origins_invalid"},
    ProblemName{ProblemCode::origin_missing_slash, "origin_missing_slash"},
    ProblemName{ProblemCode::host_path_percent, "host_path_percent"},
    ProblemName{ProblemCode::manifest_unreadable, "manifest_unreadable"},
    ProblemName{ProblemCode::manifest_not_yours, "manifest_not_yours"},
    ProblemName{ProblemCode::wrapper_unknown, "wrapper_unknown"},
    ProblemName{ProblemCode::wrapper_missing, "wrapper_missing"},
    ProblemName{ProblemCode::wrapper_not_executable, "wrapper_not_executable"},
    ProblemName{ProblemCode::host_missing, "host_missing"},
    ProblemName{ProblemCode::host_not_executable, "host_not_executable"},
    ProblemName{ProblemCode::host_on_noexec_mount, "host_on_noexec_mount"},
    ProblemName{ProblemCode::host_wrong_system, "host_wrong_system"},
    ProblemName{ProblemCode::host_replaceable_by_users, "host_replaceable_by_users"},
    ProblemName{ProblemCode::host_failed, "host_failed"},
    ProblemName{ProblemCode::registry_unreadable, "registry_unreadable"},
    ProblemName{ProblemCode::registry_manifest_relative, "registry_manifest_relative"},
    ProblemName{ProblemCode::registry_manifest_missing, "registry_manifest_missing"},
    ProblemName{ProblemCode::flatpak_permission_missing, "flatpak_permission_missing"},
    ProblemName{ProblemCode::user_level_hosts_disabled, "user_level_hosts_disabled"},
    ProblemName{ProblemCode::not_registered, "not_registered"},
    ProblemName{ProblemCode::host_blocked, "host_blocked"},
    ProblemName{ProblemCode::extension_not_admitted, "extension_not_admitted"},
    ProblemName{ProblemCode::no_admitted_extension_installed, "no_admitted_extension_installed"},
};

constexpr bool names_in_enum_order() {
  for (std::size_t i = 0; i < kProblemNames.size(); ++i) {
    if (static_cast<std::size_t>(kProblemNames[i].code) != i) return false;
  }
  return kProblemNames.size() == static_cast<std::size_t>(ProblemCode::no_admitted_extension_installed) + 1;
}
static_assert(names_in_enum_order(), "kProblemNames lists every ProblemCode once, in the enum's order");

// The code as scripts read it: "host_missing".
constexpr std::string_view code_name(ProblemCode code) { return kProblemNames[static_cast<std::size_t>(code)].name; }

}  // namespace orvix::register_tool
