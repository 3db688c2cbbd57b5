// The registration tool's command line, its commands, and its whole run.
//
//   install --extension-id ID [--extension-id ID ...] [--browser NAME ...|all]
//           [--system] [--host PATH] [--force] [--replace-ids] [--dry-run] [--json]
//   uninstall [--browser NAME ...|all] [--system] [--host PATH] [--dry-run] [--json]
//   print --extension-id ID [...] [--host PATH] [--browser NAME]
//   list [--wide] [--json]
//   doctor [--browser NAME ...|all] [--extension-id ID ...] [--fix [--dry-run]] [--host PATH] [--json]
//   help [COMMAND], COMMAND --help, --help; version, --version
//
// Options take their value as the next word or after '='; a next word that
// is itself an option is no value. Parsing checks the form (known command,
// options it takes, values present) and the values that are wrong whatever
// the machine holds (each extension id, each browser name): every one of
// these is a usage error. The rest (a host that is not
// there, a browser without a location) is checked by the commands.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "request.h"

namespace orvix::register_tool {

// The command line in `args` (without the program name); "--help" or "-h"
// anywhere asks for the help command (about the command before it, if any).
// A command that takes --extension-id and is given none takes `built_in_ids`
// (ids_built_in), when there are some. Fails with one line that says what is
// wrong (a usage error).
[[nodiscard]] Result<CommandLine> parse_command_line(const std::vector<std::string>& args,
                                                     const std::vector<std::string>& built_in_ids = {});

// The usage text that help prints: of `command`, or of the whole tool.
std::string usage(const Command* command = nullptr);

// The tool's whole run: parse the command line, run the command, print its
// report to `out` and any failure to `errors`, prefixed with the program's
// name. `built_in_ids` are the product's extension ids the build gave this
// program ("id,id", or empty: none), checked as the build checked them.
// Returns the exit status: 0 done, 1 failed (or doctor found a problem), 2
// usage error (one line, and where the help is). Never throws.
int run_register(const std::string& argv0, const std::vector<std::string>& args, std::ostream& out,
                 std::ostream& errors, std::string_view built_in_ids = "");

}  // namespace orvix::register_tool
