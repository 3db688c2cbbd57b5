#include <set>
#include <sstream>

#include "doctor.h"
#include "fix_lines.h"
#include "install.h"
#include "uninstall.h"

namespace orvix::register_tool {

std::vector<std::string> apply_fixes(const Context& context, const CommandLine& line, const DoctorReport& report,
                                     const std::optional<std::string>& replacement) {
  std::vector<std::string> applied;
  std::set<std::string> done;
  for (const Health& row : report.rows) {
    if (!row.registered || row.problems.empty() || !done.insert(row.target.where()).second) continue;
    bool host_gone = false;
    bool decided = true;
    for (const auto& problem : row.problems) {
      host_gone |= problem.code == "host_missing";
      decided &= problem.code == "host_missing" || problem.code == "origin_missing_slash";
    }
    if (!decided || (!host_gone && !row.host_path)) continue;
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
