#include <algorithm>
#include <set>
#include <sstream>

#include "base/path.h"
#include "change/install.h"
#include "change/location_kind.h"
#include "change/uninstall.h"
#include "doctor.h"
#include "fix_lines.h"
#include "host_program.h"
#include "machine/flatpak.h"
#include "machine/profile_extensions.h"
#include "support/file_owner.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

// The ids a rewrite of `row` admits: those admitted, and those whose origin
// lacks only its slash.
std::vector<std::string> meant_ids(const Health& row) {
  std::vector<std::string> ids = row.extension_ids;
  ids.insert(ids.end(), row.unslashed_ids.begin(), row.unslashed_ids.end());
  return ids;
}

// Whether the files `row` names are gone: its host, or on Windows the
// manifest its key names.
bool files_gone(const Health& row) {
  return std::any_of(row.problems.begin(), row.problems.end(), [](const Problem& problem) {
    return problem.code == ProblemCode::host_missing || problem.code == ProblemCode::registry_manifest_missing;
  });
}

// The system-wide registration of `row`'s browser that works and admits
// every extension `row` admits, when `row` is a per-user one: the browser
// reads it once `row` is gone, and nothing `row` records is lost.
const Health* working_system_row(const DoctorReport& report, const Health& row) {
  if (row.target.scope != Scope::user) return nullptr;
  for (const Health& other : report.rows) {
    if (other.target.browser != row.target.browser || other.target.scope != Scope::system || !other.registered ||
        !other.problems.empty() || !other.host_path) {
      continue;
    }
    const auto& admitted = other.extension_ids;
    const auto ids = meant_ids(row);
    const bool covers = std::all_of(ids.begin(), ids.end(), [&](const std::string& id) {
      return std::find(admitted.begin(), admitted.end(), id) != admitted.end();
    });
    return covers ? &other : nullptr;
  }
  return nullptr;
}

// Whether a per-user install of `host` would write a manifest that a
// system-wide registration names: on Windows the manifest lies beside the
// host, so registering the machine package's host for one user would
// rewrite the package's own manifest (which a user may not even write).
bool writes_machine_manifest(const Roots& roots, const DoctorReport& report, const Health& row,
                             const std::string& host) {
  const auto manifest = location_kind(roots).manifest_of_host(host);
  if (!manifest || row.target.scope != Scope::user) return false;
  return std::any_of(report.rows.begin(), report.rows.end(), [&](const Health& other) {
    return other.target.scope == Scope::system && other.manifest_path &&
           support::same_file(*other.manifest_path, *manifest);
  });
}

// What doctor does about a registration whose files are gone.
struct StaleFix {
  const Health* then_used = nullptr;  // remove it: the browser then reads this one
  std::optional<std::string> host;    // else register this host in its place
  // Neither: it stays, as the only record of the extensions it admits.
};

StaleFix stale_fix(const Roots& roots, const DoctorReport& report, const Health& row,
                   const std::optional<std::string>& replacement) {
  if (const Health* system = working_system_row(report, row)) return {system, std::nullopt};
  if (replacement && !writes_machine_manifest(roots, report, row, *replacement)) return {nullptr, replacement};
  return {};
}

// "<Browser> then uses the system-wide registration (manifest ..., host ...)".
std::string then_used_text(const Health& row, const Health& system) {
  return std::string(row.target.browser->display_name) + " then uses the system-wide registration (manifest " +
         system.manifest_path.value_or(system.target.where()) + ", host " + *system.host_path + ")";
}

// The install command that writes a sound registration for this browser,
// naming `host`, else another registration's host (neither: a placeholder),
// and the ids it admits, else those known on the machine.
std::string reinstall_command(const Roots& roots, const DoctorReport& report, const Health& row,
                              const std::optional<std::string>& host, const std::string& own_path) {
  std::vector<std::string> ids = meant_ids(row);
  if (ids.empty()) ids = known_extension_ids(roots, report, row.target.browser, &row);
  const std::string install = install_command_line(roots, *row.target.browser, row.target.scope, ids,
                                                   host ? host : other_host(roots, report, &row), own_path,
                                                   /*may_name_beside=*/false) +
                              " --force";
  return row.target.scope == Scope::system ? as_admin(roots, install) : install;
}

// The fix of a registration whose files are gone (files_gone): its host
// (`manifest_gone` false) or the manifest its key names.
std::string stale_fix_text(const Roots& roots, const DoctorReport& report, const Health& row, bool manifest_gone,
                           const std::optional<std::string>& replacement, const std::string& own_path) {
  const StaleFix fix = stale_fix(roots, report, row, replacement);
  if (fix.then_used) {
    return "Remove this per-user registration; " + then_used_text(row, *fix.then_used) + ": " +
           command_word(roots, own_path, kProgramName) + " uninstall --browser " +
           std::string(row.target.browser->name) + user_data_dir_option(roots);
  }
  const std::string reinstall = reinstall_command(roots, report, row, fix.host, own_path);
  if (manifest_gone) return "Write the manifest anew: " + reinstall;
  if (fix.host || other_host(roots, report, &row))
    return "Reinstall the host, or register the one you have: " + reinstall;
  return "Reinstall the host, then register it with the extensions this registration admits: " + reinstall;
}

// Where a host that cannot stay where it is may go: a folder of the user's
// own, or for a system-wide registration one that only root may change.
std::string host_folder(const Roots& roots, const Health& row) {
  return row.target.scope == Scope::system ? std::string(kSystemHostFolder)
                                           : roots.home + "/" + std::string(kUserHostFolder);
}

// The commands that copy the registration's host into `folder` and register
// that copy there in its place.
std::string copy_and_register(const Roots& roots, const DoctorReport& report, const Health& row,
                              const std::string& folder, const std::string& own_path) {
  const std::string& host = *row.host_path;
  const std::string copy = folder + "/" + host.substr(host.find_last_of('/') + 1);
  const auto admin = [&](const std::string& command) {
    return row.target.scope == Scope::system ? as_admin(roots, command) : command;
  };
  // The install line as written for a host (this copy is not there yet).
  const std::string install = reinstall_command(roots, report, row, std::nullopt, own_path);
  return admin("mkdir -p " + quoted_if_needed(roots, folder)) + " && " +
         admin("cp " + quoted_if_needed(roots, host) + " " + quoted_if_needed(roots, copy)) + " && " +
         install.substr(0, install.find(" --host ")) + " --host " + quoted_if_needed(roots, copy) + " --force";
}

}  // namespace

std::vector<std::string> known_extension_ids(const Roots& roots, const DoctorReport& report, const BrowserRow* browser,
                                             const Health* except) {
  if (!report.extension_ids.empty()) return report.extension_ids;
  for (const Health& other : report.rows) {
    if (&other != except && other.registered && !other.extension_ids.empty()) return other.extension_ids;
  }
  std::vector<const BrowserRow*> browsers;
  for (const Health& row : report.rows) {
    const BrowserRow* each = row.target.browser;
    if ((browser == nullptr || each == browser) &&
        std::find(browsers.begin(), browsers.end(), each) == browsers.end()) {
      browsers.push_back(each);
    }
  }
  std::vector<std::string> found;
  for (const BrowserRow* each : browsers) {
    const auto folder = user_data_folder(roots, *each);
    if (!folder) continue;
    for (const ProfileExtension& extension : native_messaging_extensions(*folder)) {
      if (std::find(found.begin(), found.end(), extension.id) == found.end()) found.push_back(extension.id);
    }
  }
  return found.size() == 1 ? found : std::vector<std::string>{};
}

std::optional<std::string> other_host(const Roots& roots, const DoctorReport& report, const Health* row) {
  for (const Health& other : report.rows) {
    if (&other == row || !other.registered || !other.host_path || !support::is_executable_file(*other.host_path)) {
      continue;
    }
    if (row != nullptr && writes_machine_manifest(roots, report, *row, *other.host_path)) continue;
    return other.host_path;
  }
  return std::nullopt;
}

std::string fix_for(const ManifestProblem& problem, const Roots& roots, const DoctorReport& report, const Health& row,
                    const std::vector<std::string>& fix_paths, const std::optional<std::string>& replacement,
                    const std::string& own_path) {
  // The install command that writes this registration anew: with the host
  // the registration names, else the replacement, unless that would make a
  // per-user fix write the machine's manifest.
  const auto reinstall = [&] {
    std::optional<std::string> host = replacement;
    if (row.host_path && support::is_executable_file(*row.host_path)) {
      host = row.host_path;
    } else if (host && writes_machine_manifest(roots, report, row, *host)) {
      host.reset();
    }
    return reinstall_command(roots, report, row, host, own_path);
  };
  switch (problem.code) {
    case ProblemCode::host_missing:
    case ProblemCode::registry_manifest_missing:
      return stale_fix_text(roots, report, row, problem.code == ProblemCode::registry_manifest_missing, replacement,
                            own_path);
    case ProblemCode::manifest_not_yours: {
      std::string chown = "sudo chown " + quoted_if_needed(roots, support::current_user_name() + ":");
      for (const auto& item : fix_paths) chown += " " + quoted_if_needed(roots, item);
      return "Give it back to yourself (then doctor checks what it says): " + chown;
    }
    case ProblemCode::wrapper_not_executable:
      return "Make it executable: chmod +x " + quoted_if_needed(roots, *row.wrapper);
    case ProblemCode::wrapper_missing:
    case ProblemCode::wrapper_unknown: return "Write the manifest and its wrapper anew: " + reinstall();
    case ProblemCode::host_not_executable:
      return "Make it executable: chmod +x " + quoted_if_needed(roots, *row.host_path);
    case ProblemCode::host_on_noexec_mount:
      return "Copy the host to a folder on a file system that allows programs, such as " + host_folder(roots, row) +
             ", and register it from there: " +
             copy_and_register(roots, report, row, host_folder(roots, row), own_path);
    case ProblemCode::host_wrong_system: {
      // Never the registered host again, nor a replacement just as foreign.
      std::optional<std::string> host = replacement;
      if (host && (unstartable_host(*host, roots) || writes_machine_manifest(roots, report, row, *host))) host.reset();
      return "Register the host built for this system instead: " +
             reinstall_command(roots, report, row, host, own_path);
    }
    case ProblemCode::host_replaceable_by_users: {
      if (roots.windows) {
        // Inherited grants become the item's own, so that those of every
        // user can go; users keep reading and starting what is there (a
        // folder's grant passes on to the host in it).
        std::string commands;
        for (const auto& item : fix_paths) {
          const std::string word = quoted_if_needed(roots, item);
          commands += std::string(commands.empty() ? "" : " && ") + "icacls " + word + " /inheritance:d && icacls " +
                      word + " /remove:g *S-1-1-0 *S-1-5-11 *S-1-5-4 *S-1-5-32-545 && icacls " + word +
                      " /grant *S-1-5-32-545:" + (support::is_directory(item) ? "(OI)(CI)RX" : "RX");
        }
        return "Install the host into a folder only administrators may change (such as one in " +
               std::string(kWindowsSystemHostFolder) +
               ") "
               "and register it there, or let only administrators change it, " +
               as_admin(roots, commands);
      }
      std::string paths;
      for (const auto& item : fix_paths) paths += " " + quoted_if_needed(roots, item);
      return "Copy the host to a folder only root may change (" +
             copy_and_register(roots, report, row, host_folder(roots, row), own_path) +
             "), or let only root change what others may: sudo chown root:" + (roots.macos ? "wheel" : "root") + paths +
             " && sudo chmod go-w" + paths;
    }
    case ProblemCode::host_path_percent: {
      const std::string install = reinstall();
      return "Move the host to a folder whose path holds at most one % sign and register it there: " +
             install.substr(0, install.find(" --host ")) + " --host <new path of " + kHostProgram + "> --force";
    }
    case ProblemCode::host_failed: {
      return "Run the host by hand to see why: echo " + echo_word(roots, kHelloRequest) + " | " +
             command_word(roots, own_path, "orvix-nm-client") + " " +
             quoted_if_needed(roots, row.host_path.value_or("")) + "; then reinstall it if it is damaged.";
    }
    case ProblemCode::manifest_unreadable: {
      if (row.target.scope != Scope::system) return "Write the manifest anew: " + reinstall();
      const auto chmod = readable_by_all_command(roots, *row.manifest_path);
      return "Make it readable by every user" + (chmod ? " (" + *chmod + ")" : std::string()) +
             ", or write it anew: " + reinstall();
    }
    case ProblemCode::manifest_invalid:
    case ProblemCode::name_mismatch:
    case ProblemCode::type_invalid:
    case ProblemCode::path_missing:
    case ProblemCode::path_not_absolute:
    case ProblemCode::origins_invalid:
    case ProblemCode::origin_missing_slash:
    case ProblemCode::registry_unreadable:
    case ProblemCode::registry_manifest_relative: return "Write the manifest anew: " + reinstall();
    // Problems of a browser or its Flatpak app, not of what a registration
    // holds: their fixes are written where they are found
    // (check_talk_permission in doctor.cpp, browser_verdict.cpp).
    case ProblemCode::flatpak_permission_missing:
    case ProblemCode::user_level_hosts_disabled:
    case ProblemCode::not_registered:
    case ProblemCode::host_blocked:
    case ProblemCode::extension_not_admitted:
    case ProblemCode::no_admitted_extension_installed: return {};
  }
  return {};  // not reached: the switch names every code
}

std::vector<std::string> apply_fixes(const Context& context, const CommandLine& line, const DoctorReport& report,
                                     const std::optional<std::string>& replacement) {
  std::vector<std::string> applied;
  std::set<std::string> done;
  for (const Health& row : report.rows) {
    if (!row.registered || row.problems.empty() || !done.insert(row.target.where()).second) continue;
    const bool gone = files_gone(row);
    bool decided = true;
    for (const auto& problem : row.problems) {
      // A Flatpak app's permission is the user's to grant and no rewrite
      // touches it: it does not hold back the rewrite of its manifest.
      decided &= problem.code == ProblemCode::host_missing || problem.code == ProblemCode::registry_manifest_missing ||
                 problem.code == ProblemCode::origin_missing_slash ||
                 problem.code == ProblemCode::flatpak_permission_missing;
    }
    if (!decided || (!gone && !row.host_path)) continue;
    const StaleFix stale = gone ? stale_fix(context.roots, report, row, replacement) : StaleFix{};
    const std::vector<std::string> ids = meant_ids(row);
    // A rewrite needs the ids (a manifest that is gone took them along);
    // without a host to name, the registration is their only record.
    if (!stale.then_used && ids.empty()) continue;
    if (gone && !stale.then_used && !stale.host) {
      applied.push_back("left " + row.target.where() +
                        ": its host is gone, and it is the only record of the extensions it admits; once the host "
                        "is back, register it: " +
                        reinstall_command(context.roots, report, row, std::nullopt, context.own_path));
      continue;
    }
    CommandLine change;
    change.browsers = {std::string(row.target.browser->name)};
    change.system = row.target.scope == Scope::system;
    change.force = true;
    change.dry_run = line.dry_run;
    std::stringstream lines;
    Result<int> status = 0;
    if (stale.then_used) {
      applied.push_back(then_used_text(row, *stale.then_used) + " once " + row.target.where() + " is removed:");
      status = uninstall_command(context, change, lines);
    } else {
      change.extension_ids = ids;
      change.host = gone ? stale.host : row.host_path;
      status = install_command(context, change, lines);
    }
    for (std::string text; std::getline(lines, text);) applied.push_back(text);
    if (!status) applied.push_back("could not fix " + row.target.where() + ": " + status.error().text);
  }
  return applied;
}

}  // namespace orvix::register_tool
