#include "command_line.h"

#include <array>
#include <string_view>

namespace orvix::register_tool {

const char* const kUsage =
    "usage: orvix-native-host-register COMMAND [OPTIONS]\n"
    "\n"
    "Registers the Orvix Chrome native host with the browsers on this machine.\n"
    "\n"
    "commands:\n"
    "  install --extension-id ID [--extension-id ID ...] [--browser NAME ...|all]\n"
    "          [--system] [--host PATH] [--force] [--dry-run]\n"
    "      write the host manifest for each browser (default: every detected one)\n"
    "  uninstall [--browser NAME ...|all] [--system] [--dry-run]\n"
    "      remove the registration (default: wherever one exists)\n"
    "  print --extension-id ID [...] [--host PATH]\n"
    "      print the manifest that install would write\n"
    "  list\n"
    "      every known browser: detected or not, and where its manifest goes\n"
    "  doctor [--browser NAME ...|all]\n"
    "      check every registration, start the host as the browser would, and say\n"
    "      how to fix each problem found\n"
    "\n"
    "options:\n"
    "  --system      for every user of the machine instead of the current one\n"
    "  --host PATH   the host program (default: orvix-chrome-native-host beside\n"
    "                this program)\n"
    "  --force       replace a manifest that names another host\n"
    "  --dry-run     say what would be done, change nothing\n"
    "  --json        output for scripts\n"
    "\n"
    "environment: HOME, XDG_CONFIG_HOME; ORVIX_REGISTER_SYSTEM_ROOT puts a prefix\n"
    "before every system-wide folder (for packagers and tests).\n"
    "\n"
    "Exit status: 0 done; 1 failed, or doctor found a problem; 2 usage error.\n";

namespace {

struct VerbName {
  std::string_view name;
  Verb verb;
};

constexpr std::array kVerbs{VerbName{"install", Verb::install}, VerbName{"uninstall", Verb::uninstall},
                            VerbName{"print", Verb::print},     VerbName{"list", Verb::list},
                            VerbName{"doctor", Verb::doctor},   VerbName{"help", Verb::help}};

// Which options each command takes.
bool takes(Verb verb, std::string_view option) {
  if (option == "--json") return verb != Verb::print;
  if (option == "--extension-id" || option == "--host") return verb == Verb::install || verb == Verb::print;
  if (option == "--force") return verb == Verb::install;
  if (option == "--system" || option == "--dry-run") return verb == Verb::install || verb == Verb::uninstall;
  if (option == "--browser") return verb == Verb::install || verb == Verb::uninstall || verb == Verb::doctor;
  return false;
}

bool has_value(std::string_view option) {
  return option == "--extension-id" || option == "--host" || option == "--browser";
}

}  // namespace

boost::system::result<CommandLine, UsageError> parse_command_line(const std::vector<std::string>& args) {
  CommandLine line;
  if (args.empty()) return UsageError{"no command given"};
  if (args[0] == "--help" || args[0] == "-h") return line;
  bool known = false;
  for (const auto& entry : kVerbs) {
    if (args[0] == entry.name) {
      line.verb = entry.verb;
      known = true;
    }
  }
  if (!known) return UsageError{"unknown command: " + args[0]};

  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string option = args[i];
    std::optional<std::string> value;
    if (auto equals = option.find('='); option.starts_with("--") && equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.resize(equals);
    }
    if (option == "--help" || option == "-h") {
      line.verb = Verb::help;
      return line;
    }
    if (!takes(line.verb, option)) return UsageError{args[0] + " does not take " + option};
    if (has_value(option)) {
      if (!value) {
        if (i + 1 >= args.size()) return UsageError{option + " needs a value"};
        value = args[++i];
      }
      if (value->empty()) return UsageError{option + " needs a value"};
      if (option == "--extension-id") line.extension_ids.push_back(*value);
      if (option == "--browser") line.browsers.push_back(*value);
      if (option == "--host") line.host = *value;
      continue;
    }
    if (value) return UsageError{option + " takes no value"};
    if (option == "--json") line.json = true;
    if (option == "--system") line.system = true;
    if (option == "--force") line.force = true;
    if (option == "--dry-run") line.dry_run = true;
  }
  if ((line.verb == Verb::install || line.verb == Verb::print) && line.extension_ids.empty()) {
    return UsageError{args[0] + " needs at least one --extension-id"};
  }
  return line;
}

}  // namespace orvix::register_tool
