#include "fix_lines.h"

#include <algorithm>
#include <cctype>

#include "base/path.h"
#include "host_manifest.h"
#include "machine/flatpak.h"
#include "support/program_path.h"

namespace orvix::register_tool {

std::string quoted_if_needed(const Roots& roots, const std::string& text) {
  // cmd splits words at spaces, tabs, ',', ';' and '=', and gives & | ( ) < > ^
  // meanings of their own, except between double quotes.
  if (roots.windows) return text.find_first_of(" \t,;=&|()<>^") == std::string::npos ? text : "\"" + text + "\"";
  // A POSIX shell takes a word as it stands only when it holds no character
  // the shell reads: ( ) & | ; < > ` * ? [ ~ # ! and the like split, expand or
  // run something (a folder "a`id`b" would run id).
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
    return c >= 0x80 || std::isalnum(c) != 0 ||
           std::string_view("_@%+=:,./-").find(static_cast<char>(c)) != std::string_view::npos;
  });
  return plain ? text : shell_quoted(text);
}

std::string as_admin(const Roots& roots, const std::string& command) {
  return roots.windows ? "from an administrator command prompt: " + command : "sudo " + command;
}

std::string echo_word(const Roots& roots, std::string_view text) {
  // cmd's echo prints the quotes it is given; a POSIX shell's takes them away.
  return roots.windows ? std::string(text) : shell_quoted(text);
}

std::optional<std::string> readable_by_all_command(const Roots& roots, const std::string& path) {
  if (roots.windows) return std::nullopt;
  return "sudo chmod 644 " + quoted_if_needed(roots, path);
}

std::string command_word(const Roots& roots, const std::string& own_path, std::string_view program) {
  const std::string file = program == kProgramName
                               ? own_path
                               : join_path(parent_path(own_path), std::string(program) + (roots.windows ? ".exe" : ""));
  if (!platform::path_exists(file) || support::same_file(support::find_on_path(program), file)) {
    return std::string(program);
  }
  return quoted_if_needed(roots, file);
}

std::string user_data_dir_option(const Roots& roots) {
  return roots.user_data_dir.empty() ? "" : " --user-data-dir " + quoted_if_needed(roots, roots.user_data_dir);
}

std::string extension_id_words(const std::vector<std::string>& ids) {
  if (ids.empty()) return " --extension-id <extension id: chrome://extensions shows it with Developer mode on>";
  std::string words;
  for (const auto& id : ids) words += " --extension-id " + id;
  return words;
}

std::string install_command_line(const Roots& roots, const BrowserRow& browser, Scope scope,
                                 const std::vector<std::string>& ids, const std::optional<std::string>& host_path,
                                 const std::string& own_path, bool may_name_beside) {
  std::string command = command_word(roots, own_path, kProgramName) + " install --browser " + std::string(browser.name);
  command += scope == Scope::system ? " --system" : user_data_dir_option(roots);
  command += extension_id_words(ids);
  std::string host;
  if (host_path && support::is_executable_file(*host_path)) {
    host = *host_path;
  } else if (auto beside = default_host_path(roots.windows, own_path);
             may_name_beside && support::is_executable_file(beside)) {
    host = beside;
  }
  if (!host.empty()) return command + " --host " + quoted_if_needed(roots, host);
  return command + " --host <path of " + kHostProgram + (roots.windows ? ".exe" : "") + ", which comes beside " +
         kProgramName + " in each package>";
}

}  // namespace orvix::register_tool
