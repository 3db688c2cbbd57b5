#include <set>
#include <sstream>

#include "doctor.h"
#include "fix_lines.h"
#include "flatpak.h"
#include "install.h"
#include "support/file_owner.h"
#include "support/program_path.h"
#include "uninstall.h"

namespace orvix::register_tool {

namespace {

// The ids a rewrite of `row` admits: those admitted, and those whose origin
// lacks only its slash.
std::vector<std::string> meant_ids(const Health& row) {
  std::vector<std::string> ids = row.extension_ids;
  ids.insert(ids.end(), row.unslashed_ids.begin(), row.unslashed_ids.end());
  return ids;
}

// The install command that writes a sound registration for this browser.
std::string reinstall_command(const Roots& roots, const Health& row, const std::optional<std::string>& replacement,
                              const std::string& own_path) {
  const bool host_usable = row.host_path && platform::is_executable_file(*row.host_path);
  const std::string install = install_command_line(roots, *row.target.browser, row.target.scope, meant_ids(row),
                                                   host_usable ? row.host_path : replacement, own_path) +
                              " --force";
  return row.target.scope == Scope::system ? as_admin(roots, install) : install;
}

}  // namespace

std::string fix_for(const ManifestProblem& problem, const Roots& roots, const Health& row,
                    const std::vector<std::string>& not_yours, const std::optional<std::string>& replacement,
                    const std::string& own_path) {
  const std::string reinstall = reinstall_command(roots, row, replacement, own_path);
  if (problem.code == "manifest_not_yours") {
    std::string chown = "sudo chown " + quoted_if_needed(roots, platform::current_user_name() + ":");
    for (const auto& item : not_yours) chown += " " + quoted_if_needed(roots, item);
    return "Give it back to yourself (then doctor checks what it says): " + chown;
  }
  if (problem.code == "host_missing" && !replacement) {
    std::string uninstall =
        command_word(roots, own_path, kProgramName) + " uninstall --browser " + std::string(row.target.browser->name);
    if (row.target.scope == Scope::system) uninstall = as_admin(roots, uninstall + " --system");
    return "Reinstall the host and register it, or remove this registration: " + uninstall;
  }
  if (problem.code == "host_missing") return "Reinstall the host, or register the one you have: " + reinstall;
  if (problem.code == "wrapper_not_executable") {
    return "Make it executable: chmod +x " + quoted_if_needed(roots, *row.wrapper);
  }
  if (problem.code == "wrapper_missing" || problem.code == "wrapper_unknown") {
    return "Write the manifest and its wrapper anew: " + reinstall;
  }
  if (problem.code == "host_not_executable") {
    return "Make it executable: chmod +x " + quoted_if_needed(roots, *row.host_path);
  }
  if (problem.code == "host_path_percent") {
    return "Move the host to a folder whose path holds at most one % sign and register it there: " +
           reinstall.substr(0, reinstall.find(" --host ")) + " --host <new path of " + kHostProgram + "> --force";
  }
  if (problem.code == "host_failed") {
    // cmd's echo prints the quotes it is given; a POSIX shell's takes them away.
    const std::string hello = roots.windows ? std::string(kHelloRequest) : shell_quoted(kHelloRequest);
    return "Run the host by hand to see why: echo " + hello + " | " + command_word(roots, own_path, "orvix-nm-client") +
           " " + quoted_if_needed(roots, row.host_path.value_or("")) + "; then reinstall it if it is damaged.";
  }
  if (problem.code == "manifest_unreadable" && row.target.scope == Scope::system) {
    return "Make it readable by every user" +
           (roots.windows ? "" : " (sudo chmod 644 " + quoted_if_needed(roots, *row.manifest_path) + ")") +
           ", or write it anew: " + reinstall;
  }
  return "Write the manifest anew: " + reinstall;
}

std::vector<std::string> apply_fixes(const Context& context, const CommandLine& line, const DoctorReport& report,
                                     const std::optional<std::string>& replacement) {
  std::vector<std::string> applied;
  std::set<std::string> done;
  for (const Health& row : report.rows) {
    if (!row.registered || row.problems.empty() || !done.insert(row.target.where()).second) continue;
    bool host_gone = false;
    bool decided = true;
    bool fixable = false;
    for (const auto& problem : row.problems) {
      host_gone |= problem.code == "host_missing";
      const bool rewrite = problem.code == "host_missing" || problem.code == "origin_missing_slash";
      fixable |= rewrite;
      // A Flatpak app's permission is the user's to grant and no rewrite
      // touches it: it does not hold back the rewrite of its manifest.
      decided &= rewrite || problem.code == "flatpak_permission_missing";
    }
    if (!decided || !fixable || (!host_gone && !row.host_path)) continue;
    CommandLine change;
    change.browsers = {std::string(row.target.browser->name)};
    change.system = row.target.scope == Scope::system;
    change.force = true;
    change.dry_run = line.dry_run;
    std::stringstream lines;
    Result<int> status = 0;
    if (host_gone && !replacement) {
      status = uninstall_command(context, change, lines);
    } else {
      change.extension_ids = meant_ids(row);
      change.host = host_gone ? replacement : row.host_path;
      status = install_command(context, change, lines);
    }
    for (std::string text; std::getline(lines, text);) applied.push_back(text);
    if (!status) applied.push_back("could not fix " + row.target.where() + ": " + status.error().text);
  }
  return applied;
}

}  // namespace orvix::register_tool
