#include "command_line.h"

#include <algorithm>
#include <array>
#include <ostream>

#include "doctor.h"
#include "host_manifest.h"
#include "json/serialize.h"
#include "json/value.h"
#include "registration_plan.h"
#include "support/program_path.h"
#include "text_table.h"

namespace orvix::register_tool {

namespace {

Result<int> help_command(const Context&, const CommandLine&, std::ostream& out) {
  out << usage();
  return 0;
}

// Every known browser, detected or not, and its location per scope.
Result<int> list_command(const Context& context, const CommandLine& line, std::ostream& out) {
  json::Array browsers;
  TextTable table;
  table.add({"BROWSER", "NAME", "DETECTED", "USER", "SYSTEM"});
  for (const BrowserRow& row : known_browsers()) {
    const bool detected = is_detected(context.roots, row);
    auto user = target_for(context.roots, row, Scope::user);
    auto system = target_for(context.roots, row, Scope::system);
    table.add({std::string(row.name), std::string(row.display_name), detected ? "yes" : "no",
               user ? user->where() : "-", system ? system->where() : "-"});
    json::Object entry;
    entry["browser"] = row.name;
    entry["name"] = row.display_name;
    entry["detected"] = detected;
    entry["user"] = user ? json::Value(user->where()) : json::Value(nullptr);
    entry["system"] = system ? json::Value(system->where()) : json::Value(nullptr);
    browsers.emplace_back(std::move(entry));
  }
  if (line.json) {
    json::Object document;
    document["browsers"] = std::move(browsers);
    out << json::to_compact_string(document) << "\n";
  } else {
    table.print(out);
  }
  return 0;
}

constexpr std::array kCommands{
    Command{"install", "--extension-id --browser --host --system --force --replace-ids --dry-run --json", true,
            "  install --extension-id ID [--extension-id ID ...] [--browser NAME ...|all]\n"
            "          [--system] [--host PATH] [--force] [--replace-ids] [--dry-run]\n"
            "      write the host manifest for each browser (default: every detected one;\n"
            "      with --system on Linux, every one installed on the machine);\n"
            "      the ids join those the manifest already admits, unless --replace-ids\n",
            install_command},
    Command{"uninstall", "--browser --system --host --dry-run --json", false,
            "  uninstall [--browser NAME ...|all] [--system] [--host PATH] [--dry-run]\n"
            "      remove the registration (default: wherever one exists; with --host, only\n"
            "      those naming that host), and the manifest folders it leaves empty\n",
            uninstall_command},
    Command{"print", "--extension-id --host", true,
            "  print --extension-id ID [...] [--host PATH]\n"
            "      print the manifest that install would write\n",
            print_command},
    Command{"list", "--json", false,
            "  list\n"
            "      every known browser: detected or not, and where its manifest goes\n",
            list_command},
    Command{"doctor", "--browser --extension-id --json", false,
            "  doctor [--browser NAME ...|all] [--extension-id ID ...]\n"
            "      check every registration, start the host as the browser would, and say\n"
            "      how to fix each problem found; then, per browser, the registration it\n"
            "      reads, the policies that block it, and whether it admits each ID\n",
            doctor_command},
    Command{"help", "--json", false, "", help_command},  // --json: taken, and nothing changes
};

// Whether `command` takes the option `word`.
bool takes(const Command& command, std::string_view word) {
  for (std::string_view rest = command.options; !rest.empty();) {
    const std::size_t space = std::min(rest.find(' '), rest.size());
    if (rest.substr(0, space) == word) return true;
    rest.remove_prefix(std::min(space + 1, rest.size()));
  }
  return false;
}

const Command* find_command(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

Failure usage_error(std::string text) { return Failure{Failure::Kind::kInvalidInput, std::move(text)}; }

}  // namespace

std::string usage() {
  std::string text = std::string("usage: ") + kProgramName +
                     " COMMAND [OPTIONS]\n"
                     "\n"
                     "Registers the Orvix Chrome native host with the browsers on this machine.\n"
                     "\n"
                     "commands:\n";
  for (const Command& command : kCommands) text += command.usage;
  return text +
         "\n"
         "options:\n"
         "  --system      for every user of the machine instead of the current one\n"
         "  --host PATH   the host program (default: " +
         kHostProgram +
         " beside\n"
         "                this program)\n"
         "  --force       replace a manifest that names another host\n"
         "  --replace-ids admit only the ids given, dropping those already admitted\n"
         "  --dry-run     say what would be done, change nothing\n"
         "  --json        output for scripts\n"
         "\n"
         "environment: HOME, XDG_CONFIG_HOME; ORVIX_REGISTER_SYSTEM_ROOT puts a prefix\n"
         "before every system-wide folder (for packagers and tests).\n"
         "\n"
         "Exit status: 0 done; 1 failed, or doctor found a problem; 2 usage error.\n";
}

Result<CommandLine> parse_command_line(const std::vector<std::string>& args) {
  CommandLine line;
  line.command = find_command("help");
  if (args.empty()) return usage_error("no command given");
  if (args[0] == "--help" || args[0] == "-h") return line;
  line.command = find_command(args[0]);
  if (line.command == nullptr) return usage_error("unknown command: " + args[0]);

  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string word = args[i];
    std::optional<std::string> value;
    if (auto equals = word.find('='); word.starts_with("--") && equals != std::string::npos) {
      value = word.substr(equals + 1);
      word.resize(equals);
    }
    if (word == "--help" || word == "-h") {
      line.command = find_command("help");
      return line;
    }
    if (!takes(*line.command, word)) return usage_error(args[0] + " does not take " + word);
    if (word == "--extension-id" || word == "--browser" || word == "--host") {
      if (!value) {
        if (i + 1 >= args.size()) return usage_error(word + " needs a value");
        value = args[++i];
      }
      if (value->empty()) return usage_error(word + " needs a value");
    } else if (value) {
      return usage_error(word + " takes no value");
    }
    if (word == "--extension-id") line.extension_ids.push_back(*value);
    if (word == "--browser") line.browsers.push_back(*value);
    if (word == "--host") line.host = *value;
    line.system |= word == "--system";
    line.force |= word == "--force";
    line.replace_ids |= word == "--replace-ids";
    line.dry_run |= word == "--dry-run";
    line.json |= word == "--json";
  }
  if (line.command->needs_extension_id && line.extension_ids.empty()) {
    return usage_error(args[0] + " needs at least one --extension-id");
  }
  return line;
}

int run_register(const std::string& argv0, const std::vector<std::string>& args, std::ostream& out,
                 std::ostream& errors) {
  auto line = parse_command_line(args);
  if (!line) {
    errors << kProgramName << ": " << line.error().text << "\n\n" << usage();
    return 2;
  }
  const Context context{Roots::from_environment(), platform::own_executable_path(argv0)};
  auto status = line->command->run(context, *line, out);
  if (!status) {
    errors << kProgramName << ": " << status.error().text << "\n";
    return 1;
  }
  return *status;
}

}  // namespace orvix::register_tool
