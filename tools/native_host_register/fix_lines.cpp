#include "fix_lines.h"

#include "doctor.h"
#include "flatpak.h"
#include "hello_probe.h"
#include "platform/path.h"
#include "support/file_owner.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

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

std::string quoted_if_needed(const Roots& roots, const std::string& text) {
  // cmd splits words at spaces, tabs, ',', ';' and '=', and gives & | ( ) < > ^
  // meanings of their own, except between double quotes.
  if (roots.windows) return text.find_first_of(" \t,;=&|()<>^") == std::string::npos ? text : "\"" + text + "\"";
  if (text.find_first_of(" \t'\"$\\") == std::string::npos) return text;
  return shell_quoted(text);
}

std::string as_admin(const Roots& roots, const std::string& command) {
  return roots.windows ? "from an administrator command prompt: " + command : "sudo " + command;
}

std::string command_word(const Roots& roots, const std::string& own_path, std::string_view program) {
  const std::string file =
      program == kProgramName
          ? own_path
          : platform::join_path(platform::parent_path(own_path), std::string(program) + (roots.windows ? ".exe" : ""));
  if (!platform::path_exists(file) || platform::same_file(platform::find_on_path(program), file)) {
    return std::string(program);
  }
  return quoted_if_needed(roots, file);
}

std::string install_command_line(const Roots& roots, const BrowserRow& browser, Scope scope,
                                 const std::vector<std::string>& ids, const std::optional<std::string>& host_path,
                                 const std::string& own_path) {
  std::string command = command_word(roots, own_path, kProgramName) + " install --browser " + std::string(browser.name);
  if (scope == Scope::system) command += " --system";
  if (ids.empty()) command += " --extension-id <extension id from chrome://extensions>";
  for (const auto& id : ids) command += " --extension-id " + id;
  std::string host;
  if (host_path && platform::is_executable_file(*host_path)) {
    host = *host_path;
  } else if (auto beside = default_host_path(roots.windows, own_path); platform::is_executable_file(beside)) {
    host = beside;
  }
  return command + " --host " +
         (host.empty() ? "<path of " + std::string(kHostProgram) + ">" : quoted_if_needed(roots, host));
}

std::vector<std::string> meant_ids(const Health& row) {
  std::vector<std::string> ids = row.extension_ids;
  ids.insert(ids.end(), row.unslashed_ids.begin(), row.unslashed_ids.end());
  return ids;
}

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

}  // namespace orvix::register_tool
