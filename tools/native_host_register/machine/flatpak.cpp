#include "flatpak.h"

#include <vector>

#include "base/path.h"
#include "host_manifest.h"
#include "platform/filesystem.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

constexpr const char* kFlatpakService = "org.freedesktop.Flatpak";
constexpr std::string_view kSpawnLine = "exec flatpak-spawn --host --directory=";

// Keyfiles of permissions are small; a larger file is no keyfile flatpak wrote.
constexpr std::size_t kKeyfileLimit = 1024 * 1024;

// The word at the start of `rest` as wrapper_text() quotes it, which it
// removes from `rest`; nothing when `rest` starts otherwise.
std::optional<std::string> unquoted(std::string_view& rest) {
  std::optional<std::string> word;
  for (;;) {
    if (rest.starts_with("\\'")) {
      word = word.value_or("") + '\'';
      rest.remove_prefix(2);
    } else if (std::size_t end = rest.find('\'', 1); rest.starts_with('\'') && end != std::string_view::npos) {
      word = word.value_or("") + std::string(rest.substr(1, end - 1));
      rest.remove_prefix(end + 1);
    } else {
      return word;
    }
  }
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// What the [Session Bus Policy] group of keyfile `text` says about the
// service (its last line on it, as flatpak reads it); nothing when silent.
std::optional<std::string> policy_of(std::string_view text) {
  std::optional<std::string> value;
  bool in_group = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      in_group = line == "[Session Bus Policy]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (in_group && equals != std::string_view::npos && trimmed(line.substr(0, equals)) == kFlatpakService) {
      value = std::string(trimmed(line.substr(equals + 1)));
    }
  }
  return value;
}

}  // namespace

std::string wrapper_path(const std::string& manifest_path) {
  return join_path(parent_path(manifest_path), std::string(kHostName) + ".sh");
}

std::string shell_quoted(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string wrapper_text(const std::string& host_path) {
  const std::string folder = parent_path(host_path);  // empty for a host in "/"
  return std::string("#!/bin/sh\n") + "# Written by " + kProgramName +
         ". A browser installed through Flatpak\n"
         "# cannot start the host outside its sandbox; flatpak-spawn --host starts it\n"
         "# there, in its own folder, with the browser's arguments. install writes this\n"
         "# file anew, uninstall removes it, doctor checks it.\n" +
         std::string(kSpawnLine) + shell_quoted(folder.empty() ? "/" : folder) + " " + shell_quoted(host_path) +
         " \"$@\"\n";
}

std::optional<std::string> host_of_wrapper(std::string_view text) {
  const std::size_t start = text.find(kSpawnLine);
  if (start == std::string_view::npos) return std::nullopt;
  std::string_view rest = text.substr(start + kSpawnLine.size());
  if (!unquoted(rest) || !rest.starts_with(' ')) return std::nullopt;
  rest.remove_prefix(1);
  auto host = unquoted(rest);
  if (!host || wrapper_text(*host) != text) return std::nullopt;
  return host;
}

std::string permission_command(std::string_view app_id) {
  return std::string("flatpak override --user --talk-name=") + kFlatpakService + " " + std::string(app_id);
}

TalkPermission read_talk_permission(const Roots& roots, std::string_view app_id) {
  const std::string app(app_id);
  const std::string user = roots.data_home.empty() ? std::string() : roots.data_home + "/flatpak";
  const std::string system = roots.system_prefix + "/var/lib/flatpak";
  const bool user_install = !user.empty() && support::is_directory(user + "/app/" + app);
  std::vector<std::string> files{(user_install ? user : system) + "/app/" + app + "/current/active/metadata"};
  if (!user_install) files.insert(files.end(), {system + "/overrides/global", system + "/overrides/" + app});
  if (!user.empty()) files.insert(files.end(), {user + "/overrides/global", user + "/overrides/" + app});
  TalkPermission permission;
  for (const std::string& file : files) {
    auto text = read_small_file(file, kKeyfileLimit);
    if (!text) continue;
    if (auto value = policy_of(*text)) permission = TalkPermission{*value == "talk" || *value == "own", file, *value};
  }
  return permission;
}

}  // namespace orvix::register_tool
