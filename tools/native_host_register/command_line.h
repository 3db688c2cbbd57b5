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
// Options take their value as the next word or after '='. Parsing checks the
// form (known command, options it takes, values present) and the values that
// are wrong whatever the machine holds (each extension id, each browser
// name): every one of these is a usage error. The rest (a host that is not
// there, a browser without a location) is checked by the commands.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers.h"
#include "platform/result.h"

namespace orvix::register_tool {

struct Command;

struct CommandLine {
  const Command* command = nullptr;
  std::vector<std::string> extension_ids;
  std::vector<std::string> browsers;  // as given; "all" stays as a name
  std::optional<std::string> host;
  bool system = false;
  bool force = false;
  bool replace_ids = false;  // install: admit only the ids given
  bool dry_run = false;
  bool fix = false;  // doctor: apply the fixes that need no decision
  bool json = false;
  bool wide = false;                  // list: the full locations
  const Command* help_for = nullptr;  // help: the command asked about; nothing: all
};

// What every command gets besides its command line.
struct Context {
  Roots roots;
  std::string own_path;  // this program, absolute
};

// One command: its name, the options it takes, its part of the usage text,
// and what runs it. `run` writes the command's report to `out` and returns the
// exit status, or a failure that run_register() prints (exit status 1).
struct Command {
  std::string_view name;
  std::string_view options;  // "--browser --json": the options it takes
  bool needs_extension_id;
  std::string_view usage;
  Result<int> (*run)(const Context& context, const CommandLine& line, std::ostream& out);
};

// The command line in `args` (without the program name); "--help" or "-h"
// anywhere asks for the help command (about the command before it, if any).
// Fails with one line that says what is wrong (a usage error).
[[nodiscard]] Result<CommandLine> parse_command_line(const std::vector<std::string>& args);

// The usage text that help prints: of `command`, or of the whole tool.
std::string usage(const Command* command = nullptr);

// The tool's whole run: parse the command line, run the command, print its
// report to `out` and any failure to `errors`, prefixed with the program's
// name. Returns the exit status: 0 done, 1 failed (or doctor found a
// problem), 2 usage error (one line, and where the help is). Never throws.
int run_register(const std::string& argv0, const std::vector<std::string>& args, std::ostream& out,
                 std::ostream& errors);

}  // namespace orvix::register_tool
