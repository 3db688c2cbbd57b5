#include <gtest/gtest.h>

#include <string>

#include "native_host_register/doctor/doctor.h"

namespace orvix::register_tool {
namespace {

const std::string kId = "abcdefghijklmnopabcdefghijklmnop";
// No file at these paths: the fixes name the tool by its name and hold a
// placeholder for a host that is not there.
const std::string kTool = "/nonexistent/bin/orvix-native-host-register";
const std::string kHost = "/nonexistent/host";

Roots linux_roots() {
  Roots roots;
  roots.home = "/home/u";
  roots.config_home = "/home/u/.config";
  return roots;
}

Health registration(const Roots& roots, Scope scope) {
  Health row;
  row.target = *target_for(roots, *find_browser("chromium"), scope);
  row.registered = true;
  row.manifest_path = row.target.manifest_path;
  row.host_path = kHost;
  row.wrapper = "/home/u/w.sh";
  row.extension_ids = {kId};
  return row;
}

TEST(DoctorFix, EveryProblemOfARegistrationHasItsOwnFixAndABrowsersProblemsHaveTheirsWhereFound) {
  const Roots roots = linux_roots();
  const Health row = registration(roots, Scope::user);
  DoctorReport report;
  report.rows = {row};
  const std::string reinstall =
      "orvix-native-host-register install --browser chromium --extension-id " + kId + " --host <path of ";
  const std::pair<ProblemCode, std::string> expected[] = {
      {ProblemCode::manifest_invalid, "Write the manifest anew: " + reinstall},
      {ProblemCode::name_mismatch, "Write the manifest anew: " + reinstall},
      {ProblemCode::type_invalid, "Write the manifest anew: " + reinstall},
      {ProblemCode::path_missing, "Write the manifest anew: " + reinstall},
      {ProblemCode::path_not_absolute, "Write the manifest anew: " + reinstall},
      {ProblemCode::origins_invalid, "Write the manifest anew: " + reinstall},
      {ProblemCode::origin_missing_slash, "Write the manifest anew: " + reinstall},
      {ProblemCode::host_path_percent, "Move the host to a folder whose path holds at most one % sign"},
      {ProblemCode::manifest_unreadable, "Write the manifest anew: " + reinstall},
      {ProblemCode::manifest_not_yours, "Give it back to yourself (then doctor checks what it says): sudo chown "},
      {ProblemCode::wrapper_unknown, "Write the manifest and its wrapper anew: " + reinstall},
      {ProblemCode::wrapper_missing, "Write the manifest and its wrapper anew: " + reinstall},
      {ProblemCode::wrapper_not_executable, "Make it executable: chmod +x /home/u/w.sh"},
      // Without a host to name, the registration stays: it is the only record of its ids.
      {ProblemCode::host_missing,
       "Reinstall the host, then register it with the extensions this registration admits: " + reinstall},
      {ProblemCode::host_not_executable, "Make it executable: chmod +x " + kHost},
      // The copy is not there yet: named as it will be, not as a placeholder.
      {ProblemCode::host_on_noexec_mount,
       "Copy the host to a folder on a file system that allows programs, such as /home/u/.local/lib/orvix, and "
       "register it from there: mkdir -p /home/u/.local/lib/orvix && cp /nonexistent/host "
       "/home/u/.local/lib/orvix/host && orvix-native-host-register install --browser chromium --extension-id " +
           kId + " --host /home/u/.local/lib/orvix/host --force"},
      {ProblemCode::host_wrong_system, "Register the host built for this system instead: " + reinstall},
      {ProblemCode::host_replaceable_by_users, "Copy the host to a folder only root may change ("},
      {ProblemCode::host_failed,
       "Run the host by hand to see why: echo '{\"id\":1,\"method\":\"hello\"}' | "
       "orvix-nm-client " +
           kHost},
      {ProblemCode::registry_unreadable, "Write the manifest anew: " + reinstall},
      {ProblemCode::registry_manifest_relative, "Write the manifest anew: " + reinstall},
      {ProblemCode::registry_manifest_missing, "Write the manifest anew: " + reinstall},
      {ProblemCode::flatpak_permission_missing, ""},
      {ProblemCode::user_level_hosts_disabled, ""},
      {ProblemCode::not_registered, ""},
      {ProblemCode::host_blocked, ""},
      {ProblemCode::extension_not_admitted, ""},
      {ProblemCode::no_admitted_extension_installed, ""},
  };
  ASSERT_EQ(std::size(expected), kProblemNames.size());
  for (const auto& [code, start] : expected) {
    const std::string fix = fix_for({code, "text"}, roots, report, row, {}, std::nullopt, kTool);
    EXPECT_TRUE(fix.starts_with(start)) << code_name(code) << ": " << fix;
    EXPECT_EQ(fix.empty(), start.empty()) << code_name(code);
  }
}

TEST(DoctorFix, AStalePerUserRegistrationGoesWhenAWorkingSystemOneAdmitsItsIds) {
  const Roots roots = linux_roots();
  const Health user = registration(roots, Scope::user);
  Health system = registration(roots, Scope::system);
  system.host_path = "/opt/orvix/host";
  DoctorReport report;
  report.rows = {user, system};
  EXPECT_TRUE(fix_for({ProblemCode::host_missing, "text"}, roots, report, user, {}, std::nullopt, kTool)
                  .starts_with("Remove this per-user registration; Chromium then uses the system-wide registration"));
  // One that admits fewer extensions does not replace it.
  report.rows[1].extension_ids.clear();
  EXPECT_TRUE(fix_for({ProblemCode::host_missing, "text"}, roots, report, user, {}, std::nullopt, kTool)
                  .starts_with("Reinstall the host, then register it"));
  // The fix of a system-wide registration runs as the administrator.
  EXPECT_TRUE(fix_for({ProblemCode::manifest_invalid, "text"}, roots, report, system, {}, std::nullopt, kTool)
                  .starts_with("Write the manifest anew: sudo orvix-native-host-register install --browser chromium "
                               "--system"));
}

}  // namespace
}  // namespace orvix::register_tool
