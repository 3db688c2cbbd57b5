#include "register_run.h"

#include <ostream>

#include "browser_selection.h"
#include "command_line.h"
#include "doctor.h"
#include "host_manifest.h"
#include "support/program_path.h"
#include "registration_commands.h"
#include "render.h"

namespace orvix::register_tool {

namespace {

int print_manifest(const Roots& roots, const CommandLine& line, const std::string& own_path, std::ostream& out,
                   std::ostream& errors) {
  for (const auto& id : line.extension_ids) {
    if (!is_extension_id(id)) {
      errors << "orvix-native-host-register: Extension id \"" << id << "\" is not 32 letters from a to p.\n";
      return 1;
    }
  }
  const std::string given = line.host ? *line.host : default_host_path(roots, own_path);
  auto host = platform::absolute_path(given);
  if (!host) {
    errors << "orvix-native-host-register: Cannot make " << given << " absolute: " << host.error().text << ".\n";
    return 1;
  }
  out << manifest_text(*host, line.extension_ids);
  return 0;
}

int doctor(const Roots& roots, const CommandLine& line, const std::string& own_path, std::ostream& out,
           std::ostream& errors) {
  auto rows = select_browsers(roots, line.browsers, WhenNoneNamed::every_known);
  if (!rows) {
    errors << "orvix-native-host-register: " << rows.error().text << "\n";
    return 1;
  }
  DoctorReport report = run_doctor(roots, *rows, own_path);
  render_doctor(report, line.json, out);
  return report.healthy ? 0 : 1;
}

}  // namespace

int run_register(const std::string& argv0, const std::vector<std::string>& args, std::ostream& out,
                 std::ostream& errors) {
  auto line = parse_command_line(args);
  if (!line) {
    errors << "orvix-native-host-register: " << line.error().text << "\n\n" << kUsage;
    return 2;
  }
  const Roots roots = Roots::from_environment();
  const std::string own_path = platform::own_executable_path(argv0);
  switch (line->verb) {
    case Verb::help:
      out << kUsage;
      return 0;
    case Verb::print:
      return print_manifest(roots, *line, own_path, out, errors);
    case Verb::list:
      render_list(roots, line->json, out);
      return 0;
    case Verb::doctor:
      return doctor(roots, *line, own_path, out, errors);
    case Verb::install:
    case Verb::uninstall: {
      Outcome outcome = line->verb == Verb::install ? install(roots, *line, own_path) : uninstall(roots, *line);
      render_outcome(outcome, line->json, out, errors);
      return outcome.failure ? 1 : 0;
    }
  }
  return 2;
}

}  // namespace orvix::register_tool
