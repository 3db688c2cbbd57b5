// What every command gets: its command line as parsed (command_line.h) and
// the machine it runs on. The commands (install.h, uninstall.h, doctor.h)
// take these and never parse anything themselves.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "browsers.h"

namespace orvix::register_tool {

struct Command;

struct CommandLine {
  const Command* command = nullptr;
  std::vector<std::string> extension_ids;  // as given, else those built into this program
  bool ids_built_in = false;               // extension_ids are the built-in ones: none was given
  std::vector<std::string> browsers;       // as given; "all" stays as a name
  std::optional<std::string> host;
  std::optional<std::string> user_data_dir;  // as given
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
  std::string own_path;                   // this program, absolute
  std::vector<std::string> built_in_ids;  // the product's extension ids this program was built with, if any
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

}  // namespace orvix::register_tool
