#include "command_line.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <utility>

#include "change/install.h"
#include "change/uninstall.h"
#include "dispatch/status_method.h"
#include "doctor/doctor.h"
#include "host_manifest.h"
#include "json/serialize.h"
#include "json/value.h"
#include "support/program_path.h"
#include "text_table.h"

namespace orvix::register_tool {

namespace {

std::string wrapped(std::string_view text);

// The line that names the product's extension ids this program was built
// with (none: empty); the .deb's postinst reads it from `version`.
std::string built_in_line(const Context& context) {
  return context.built_in_ids.empty() ? std::string()
                                      : "built-in extension ids: " + joined(context.built_in_ids) + "\n";
}

Result<int> help_command(const Context& context, const CommandLine& line, std::ostream& out) {
  out << usage(line.help_for);
  if (!context.built_in_ids.empty()) {
    // One word per id, so that many still wrap within the lines.
    std::string ids;
    for (const auto& id : context.built_in_ids) ids += (ids.empty() ? "" : ", ") + id;
    out << "\n"
        << wrapped("This build admits the product's extensions by default: install and doctor take the built-in ids " +
                   ids + " when given no --extension-id.")
        << "\n";
  }
  return 0;
}

Result<int> version_command(const Context& context, const CommandLine&, std::ostream& out) {
  out << kProgramName << " " << dispatch::kHostVersion << "\n" << built_in_line(context);
  return 0;
}

// Every known browser, detected or not, and its location per scope: in the
// table, the scopes it has one in (the full paths, below the home or the
// system root, would not fit a terminal), unless --wide.
Result<int> list_command(const Context& context, const CommandLine& line, std::ostream& out) {
  json::Array browsers;
  TextTable table;
  if (line.wide) {
    table.add({"BROWSER", "NAME", "DETECTED", "USER", "SYSTEM"});
  } else {
    table.add({"BROWSER", "NAME", "DETECTED", "SCOPES"});
  }
  for (const BrowserRow& row : known_browsers()) {
    const bool detected = is_detected(context.roots, row);
    auto user = target_for(context.roots, row, Scope::user);
    auto system = target_for(context.roots, row, Scope::system);
    std::vector<std::string> cells{std::string(row.name), std::string(row.display_name), detected ? "yes" : "no"};
    if (line.wide) {
      cells.push_back(user ? user->where() : "-");
      cells.push_back(system ? system->where() : "-");
    } else {
      cells.push_back(user && system ? "user,system" : user ? "user" : system ? "system" : "-");
    }
    table.add(std::move(cells));
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
    Command{"install",
            "--extension-id --browser --host --system --user-data-dir --force --replace-ids --dry-run --json", true,
            "  install --extension-id ID [--extension-id ID ...] [--browser NAME ...|all]\n"
            "          [--system | --user-data-dir DIR] [--host PATH] [--force] [--replace-ids] [--dry-run]\n"
            "      write the host manifest for each browser (default: every detected one, or,\n"
            "      when none has run yet, every one installed; with --system on Linux, every\n"
            "      one installed on the machine);\n"
            "      the ids join those the manifest already admits, unless --replace-ids\n",
            install_command},
    Command{"uninstall", "--browser --system --user-data-dir --host --dry-run --json", false,
            "  uninstall [--browser NAME ...|all] [--system | --user-data-dir DIR] [--host PATH] [--dry-run]\n"
            "      remove the registration (default: wherever one exists; with --host, only\n"
            "      those naming that host), and the manifest folders it leaves empty\n",
            uninstall_command},
    Command{"print", "--extension-id --host --browser", true,
            "  print --extension-id ID [...] [--host PATH] [--browser NAME]\n"
            "      print the manifest that install would write (for a Flatpak browser,\n"
            "      and the wrapper beside it that starts the host outside the sandbox)\n",
            print_command},
    Command{"list", "--wide --json", false,
            "  list [--wide]\n"
            "      every known browser: detected or not, and the scopes it can be\n"
            "      registered in (--wide: where its manifest goes in each)\n",
            list_command},
    Command{"doctor", "--browser --extension-id --user-data-dir --host --fix --dry-run --json", false,
            "  doctor [--browser NAME ...|all] [--extension-id ID ...] [--user-data-dir DIR]\n"
            "         [--fix [--dry-run]] [--host PATH]\n"
            "      check every registration, start the host as the browser would, and say\n"
            "      how to fix each problem found; then, per browser, the registration it\n"
            "      reads, the policies that block it, and whether it admits each ID; --fix\n"
            "      applies the fixes that need no decision (a moved or deleted host, an\n"
            "      origin without its final slash), with --host naming the host to register\n",
            doctor_command},
    Command{"help", "--json", false, "", help_command},  // --json: taken, and nothing changes
    Command{"version", "", false, "", version_command},
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

// The width usage errors and help lines keep to, so that they read whole in a terminal.
constexpr std::size_t kColumns = 100;

// `text` broken at spaces into lines of at most kColumns, each after the
// first indented by two spaces; a word longer than a line stands alone.
std::string wrapped(std::string_view text) {
  std::string lines;
  std::size_t width = 0;
  bool line_empty = true;
  while (!text.empty()) {
    const std::size_t space = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, space);
    text.remove_prefix(std::min(space + 1, text.size()));
    if (!line_empty && width + 1 + word.size() > kColumns) {
      lines += "\n  ";
      width = 2;
      line_empty = true;
    }
    if (!line_empty) {
      lines += ' ';
      ++width;
    }
    lines += word;
    width += word.size();
    line_empty = false;
  }
  return lines;
}

}  // namespace

std::string usage(const Command* command) {
  const bool whole = command == nullptr || command->usage.empty();
  std::string text = whole ? std::string("usage: ") + kProgramName +
                                 " COMMAND [OPTIONS]\n"
                                 "       " +
                                 kProgramName +
                                 " help [COMMAND] | --help | --version\n"
                                 "\n"
                                 "Registers the Orvix Chrome native host with the browsers on this machine.\n"
                                 "\n"
                                 "commands:\n"
                           : std::string("usage:\n");
  for (const Command& each : kCommands) text += whole || &each == command ? each.usage : "";
  const std::string host = std::string("  --host PATH   the host program (default: ") + kHostProgram +
                           " beside\n"
                           "                this program)\n";
  const std::pair<std::string_view, std::string_view> options[] = {
      {"--system", "  --system      for every user of the machine instead of the current one\n"},
      {"--user-data-dir",
       "  --user-data-dir DIR\n"
       "                for the browser started with --user-data-dir=DIR (one browser: name it\n"
       "                with --browser when more are here): its registration in\n"
       "                DIR/NativeMessagingHosts (Windows: HKCU all the same), its profiles in DIR\n"},
      {"--host", host},
      {"--force", "  --force       replace a manifest that names another host\n"},
      {"--replace-ids", "  --replace-ids admit only the ids given, dropping those already admitted\n"},
      {"--fix", "  --fix         apply the fixes that need no decision\n"},
      {"--dry-run", "  --dry-run     say what would be done, change nothing\n"},
      {"--wide", "  --wide        where the manifest goes in each scope, in full\n"},
      {"--json", "  --json        output for scripts\n"},
  };
  std::string described;
  for (const auto& [name, line] : options) described += whole || takes(*command, name) ? line : "";
  if (!described.empty()) text += "\noptions:\n" + described;
  if (whole) {
    text +=
        "\n"
        "environment: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME (Flatpak overrides);\n"
        "CHROME_CONFIG_HOME (before XDG_CONFIG_HOME, for Google Chrome and Chromium);\n"
        "ORVIX_REGISTER_SYSTEM_ROOT puts a prefix before every system-wide folder\n"
        "(for packagers and tests).\n";
  }
  return text +
         "\n"
         "Exit status: 0 all good; 1 a command failed, or doctor found a problem;\n"
         "2 usage error (an unknown command or option, a missing value or one that is an\n"
         "option, an extension id that is not one, an unknown browser name).\n";
}

Result<CommandLine> parse_command_line(const std::vector<std::string>& args,
                                       const std::vector<std::string>& built_in_ids) {
  CommandLine line;
  line.command = find_command("help");
  if (args.empty()) return usage_error("no command given");
  if (args[0] == "--help" || args[0] == "-h") return line;
  line.command = find_command(args[0] == "--version" ? "version" : args[0]);
  if (line.command == nullptr) {
    return usage_error((args[0].starts_with("-") ? "unknown option: " : "unknown command: ") + args[0]);
  }
  std::size_t i = 1;
  if (line.command->name == "help" && args.size() > 1 && !args[1].starts_with("-")) {
    line.help_for = find_command(args[1]);
    if (line.help_for == nullptr) return usage_error("unknown command: " + args[1]);
    i = 2;
  }

  for (; i < args.size(); ++i) {
    std::string word = args[i];
    std::optional<std::string> value;
    if (auto equals = word.find('='); word.starts_with("--") && equals != std::string::npos) {
      value = word.substr(equals + 1);
      word.resize(equals);
    }
    if (word == "--help" || word == "-h") {
      if (line.command->name != "help") line.help_for = line.command;
      line.command = find_command("help");
      return line;
    }
    if (!takes(*line.command, word)) return usage_error(args[0] + " does not take " + word);
    if (word == "--extension-id" || word == "--browser" || word == "--host" || word == "--user-data-dir") {
      if (!value) {
        if (i + 1 >= args.size()) return usage_error(word + " needs a value");
        // "--host --force" forgot the host: taking "--force" as one would hide the mistake.
        // A value that starts with "-" is given after '=' ("--host=-x").
        if (args[i + 1].size() > 1 && args[i + 1].starts_with("-")) {
          return usage_error(word + " needs a value, not the option " + args[i + 1]);
        }
        value = args[++i];
      }
      if (value->empty()) return usage_error(word + " needs a value");
    } else if (value) {
      return usage_error(word + " takes no value");
    }
    if (word == "--extension-id") line.extension_ids.push_back(*value);
    if (word == "--browser") line.browsers.push_back(*value);
    if (word == "--host") line.host = *value;
    if (word == "--user-data-dir") line.user_data_dir = *value;
    line.system |= word == "--system";
    line.force |= word == "--force";
    line.replace_ids |= word == "--replace-ids";
    line.dry_run |= word == "--dry-run";
    line.fix |= word == "--fix";
    line.json |= word == "--json";
    line.wide |= word == "--wide";
  }
  if (line.extension_ids.empty() && !built_in_ids.empty() && takes(*line.command, "--extension-id")) {
    line.extension_ids = built_in_ids;
    line.ids_built_in = true;
  }
  if (line.command->needs_extension_id && line.extension_ids.empty()) {
    return usage_error(args[0] + " needs at least one --extension-id");
  }
  // doctor only checks unless --fix: a --dry-run alone would promise a change it never makes.
  if (line.command->name == "doctor" && line.dry_run && !line.fix)
    return usage_error("doctor takes --dry-run only with --fix");
  // The folder a browser was started with is one user's; every user's registration lies elsewhere.
  if (line.system && line.user_data_dir)
    return usage_error("--user-data-dir is one user's folder; it does not go with --system");
  if (auto ids = extension_ids(line.extension_ids); !ids) return usage_error(ids.error().text);
  if (auto known = check_browser_names(line.browsers); !known) return usage_error(known.error().text);
  return line;
}

int run_register(const std::string& argv0, const std::vector<std::string>& args, std::ostream& out,
                 std::ostream& errors, std::string_view built_in_ids) {
  std::vector<std::string> built_in;
  for (std::string_view rest = built_in_ids; !rest.empty();) {
    const std::size_t comma = std::min(rest.find(','), rest.size());
    if (comma > 0) built_in.emplace_back(rest.substr(0, comma));
    rest.remove_prefix(std::min(comma + 1, rest.size()));
  }
  auto line = parse_command_line(args, built_in);
  if (!line) {
    errors << wrapped(std::string(kProgramName) + ": " + line.error().text) << "\nTry '" << kProgramName
           << " --help'.\n";
    return 2;
  }
  Context context{Roots::from_environment(), support::own_executable_path(argv0), std::move(built_in)};
  if (line->user_data_dir) {
    // The browser takes the folder relative to where it was started; the user started it here.
    auto folder = support::absolute_path(*line->user_data_dir);
    if (!folder) {
      errors << kProgramName << ": Cannot make " << *line->user_data_dir << " absolute: " << folder.error().text
             << ".\n";
      return 1;
    }
    context.roots.user_data_dir = std::move(*folder);
  }
  auto status = line->command->run(context, *line, out);
  if (!status) {
    errors << kProgramName << ": " << status.error().text << "\n";
    return 1;
  }
  return *status;
}

}  // namespace orvix::register_tool
