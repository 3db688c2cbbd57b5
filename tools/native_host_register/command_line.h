// The registration tool's command line.
//
//   install --extension-id ID [--extension-id ID ...] [--browser NAME ...|all]
//           [--system] [--host PATH] [--force] [--dry-run] [--json]
//   uninstall [--browser NAME ...|all] [--system] [--dry-run] [--json]
//   print --extension-id ID [...] [--host PATH]
//   list [--json]
//   doctor [--browser NAME ...|all] [--json]
//
// Options take their value as the next word or after '='. Parsing checks the
// form only (known command, known options, values present); what the values
// mean is checked by the commands.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <boost/system/result.hpp>

namespace orvix::register_tool {

enum class Verb { install, uninstall, print, list, doctor, help };

struct CommandLine {
  Verb verb = Verb::help;
  std::vector<std::string> extension_ids;
  std::vector<std::string> browsers;  // as given; "all" stays as a name
  std::optional<std::string> host;
  bool system = false;
  bool force = false;
  bool dry_run = false;
  bool json = false;
};

struct UsageError {
  std::string text;
};

[[nodiscard]] boost::system::result<CommandLine, UsageError> parse_command_line(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace orvix::register_tool
