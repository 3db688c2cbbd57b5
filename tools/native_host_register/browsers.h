// The browsers the registration tool knows, where each one looks for the
// host's registration on this machine, and which of them the user has.
//
// A registration lives at a location, for one scope: a manifest file (Linux,
// macOS) or a registry key whose default value names the manifest (Windows;
// user scope is HKCU, system scope HKLM, and the manifest lies beside the
// host). Locations are computed below roots that come from the environment,
// so tests and packagers can move every one of them:
//   HOME                  the user's home (Linux, macOS)
//   CHROME_CONFIG_HOME    Linux: where Google Chrome and Chromium take their
//                         user data folders from, before XDG_CONFIG_HOME
//   XDG_CONFIG_HOME       Linux user configuration; else $HOME/.config
//   XDG_DATA_HOME         Linux user data (Flatpak's per-user overrides); else
//                         $HOME/.local/share
//   ORVIX_REGISTER_SYSTEM_ROOT
//                         a prefix put before every system-wide folder
//                         (/etc/..., /Library/...), for packagers staging a
//                         root and for tests; unset means "/"
//   LOCALAPPDATA          where Windows browsers keep their user data
// and, from the command line, --user-data-dir DIR: the folder of a browser
// started with --user-data-dir=DIR (as extension developers test), which then
// holds its profiles and, on Linux and macOS, its per-user manifest folder
// (Windows browsers read HKCU whatever folder they were started with).
//
// A browser counts as detected when its user data folder exists (for a
// Flatpak row, its ~/.var/app/<app id> folder), and as installed on a Linux
// machine when the folder above its system-wide manifest folder or one of its
// programs exists below the system root: a system-wide registration is for
// every user, so it must not depend on whether the administrator ever ran the
// browser. Nothing here writes.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "support/registry.h"

namespace orvix::register_tool {

// One browser and its locations on each system; an empty field means the
// browser has no documented location of that kind, and the tool refuses that
// browser and scope with a clear message rather than guess.
struct BrowserRow {
  std::string_view name;          // what --browser takes
  std::string_view display_name;  // what people read
  std::string_view linux_user;    // the user data folder below $XDG_CONFIG_HOME (Flatpak: ~/.var/app/<app>/config)
  std::string_view linux_system;  // the absolute folder for manifests of every user
  std::string_view mac_user;      // the user data folder below ~/Library/Application Support
  std::string_view mac_system;    // the absolute folder for manifests of every user
  std::string_view windows_key;   // below HKCU\Software or HKLM\Software; the browser reads its NativeMessagingHosts
  std::string_view windows_data;  // the user data folder below %LOCALAPPDATA%
  std::string_view flatpak_app;   // the Flatpak application id; such a row has a Linux user location only
};

// Every known browser, in the order tables list them.
std::span<const BrowserRow> known_browsers();

// The row named `name`, or nullptr.
const BrowserRow* find_browser(std::string_view name);

enum class Scope { user, system };

const char* scope_name(Scope scope);

// What the environment says about this machine's roots (see above).
struct Roots {
  std::string home;                 // empty when HOME is unset
  std::string config_home;          // $XDG_CONFIG_HOME or $HOME/.config
  std::string chrome_config_home;   // $CHROME_CONFIG_HOME, or "" when unset (Google Chrome and Chromium only)
  std::string desktop_config_home;  // $HOME/.config: what a browser started without either variable takes
  std::string data_home;            // $XDG_DATA_HOME or $HOME/.local/share
  std::string system_prefix;        // $ORVIX_REGISTER_SYSTEM_ROOT or ""
  std::string local_app_data;       // %LOCALAPPDATA% (Windows)
  std::string user_data_dir;        // --user-data-dir, absolute; "" when not given
  bool windows = false;
  bool macos = false;

  static Roots from_environment();
};

struct RegistryLocation {
  support::RegistryHive hive;
  std::string key;  // Software\...\NativeMessagingHosts\com.orvix.chrome_native_host
};

// Where one browser's registration lives in one scope.
struct Target {
  const BrowserRow* browser = nullptr;
  Scope scope = Scope::user;
  std::string manifest_path;                 // Linux, macOS: the manifest file; empty on Windows
  std::optional<RegistryLocation> registry;  // Windows: the key whose default value names the manifest

  // Where the registration lives, for people: the file or the key.
  std::string where() const;
};

// The target of `browser` in `scope`, or nothing when the browser has no
// such location on this system (or the roots it needs are unknown).
std::optional<Target> target_for(const Roots& roots, const BrowserRow& browser, Scope scope);

// The browser's own per-user folder, which holds its profiles: below
// $XDG_CONFIG_HOME (a Flatpak app's ~/.var/app/<app>/config), ~/Library/
// Application Support or %LOCALAPPDATA%; nothing when the roots it needs are
// unknown or the browser has none on this system.
std::optional<std::string> user_data_folder(const Roots& roots, const BrowserRow& browser);

// When CHROME_CONFIG_HOME or XDG_CONFIG_HOME moves `browser`'s per-user
// folder away from $HOME/.config (Linux), the variable that does and the
// folder a browser started without it (as from the desktop) reads instead.
struct MovedFolder {
  std::string variable;
  std::string desktop_folder;
};
std::optional<MovedFolder> moved_user_folder(const Roots& roots, const BrowserRow& browser);

// With roots.user_data_dir: what `browser` started with --user-data-dir
// reads, for the reports of the commands (on Windows, that the registration
// stays in HKCU and only the profiles move); else nothing.
std::optional<std::string> user_data_dir_note(const Roots& roots, const BrowserRow& browser);

// Whether `browser` appears installed for this user (see above); with
// roots.user_data_dir, yes: the browser runs on that folder.
bool is_detected(const Roots& roots, const BrowserRow& browser);

// Whether one of `browser`'s programs is installed on this Linux machine:
// what tells, in a home where no browser has run yet, the browsers to
// register for this user (a channel's own program, not the system-wide
// folder the Chrome channels share).
bool has_program(const Roots& roots, const BrowserRow& browser);

// Whether `browser` appears installed on this Linux machine (see above); only
// browsers with a system-wide folder can be. On Windows and macOS, where no
// such sign is as cheap, is_detected().
bool is_installed(const Roots& roots, const BrowserRow& browser);

// detected: every detected browser; installed: every installed one (the
// system-wide default); every_known: the whole table.
enum class WhenNoneNamed { detected, installed, every_known };

// Fails unless each of `names` (the --browser values) is a known browser's
// name or "all", with a sentence that lists the known ones.
[[nodiscard]] Result<void> check_browser_names(const std::vector<std::string>& names);

// The rows `names` pick (the --browser values): each known name, "all" for
// every detected browser (installed, when `none_named` says so). With no
// names, `none_named` decides. When detected browsers are wanted and none is
// (a home where no browser has run yet), the Linux browsers whose program is
// installed (has_program), with a sentence saying so in `first_run`. With
// roots.user_data_dir, the folder of one browser: every_known means the
// detected browsers, and more than one fails, asking for --browser. Fails
// like check_browser_names(), or with a sentence when the selection comes out
// empty, which names what was looked for on Linux when installed browsers
// were wanted.
[[nodiscard]] Result<std::vector<const BrowserRow*>> select_browsers(const Roots& roots,
                                                                     const std::vector<std::string>& names,
                                                                     WhenNoneNamed none_named,
                                                                     std::string* first_run = nullptr);

// One location with every browser that reads it (the Chrome channels share
// one system folder and one registry key).
struct Location {
  Target target;  // of the first browser
  std::vector<std::string> browsers;
  std::size_t first = 0;  // the index of that first target in by_location's input
};

// `targets` grouped by scope and where(), in order of first appearance.
std::vector<Location> by_location(const std::vector<Target>& targets);

// "Software\<below_software>\NativeMessagingHosts\com.orvix.chrome_native_host":
// the key whose default value names the manifest, below HKCU or HKLM, for a
// row's windows_key.
std::string hosts_key(std::string_view below_software);

// The registry views the browsers read in `hive`: HKCU keeps one Software tree
// for both views; HKLM has two.
std::vector<support::RegistryView> views_of(support::RegistryHive hive);

// "HKCU\Software\...\com.orvix.chrome_native_host", with " (64-bit view)" or
// " (32-bit view)" when a view is named.
std::string registry_display(const RegistryLocation& key, std::optional<support::RegistryView> view = std::nullopt);

// The default value of a key in one view; nothing when it is missing. Fails
// with "Cannot read <key> (<view>): <reason>."
[[nodiscard]] Result<std::optional<std::string>> read_registration(const RegistryLocation& key,
                                                                   support::RegistryView view);

}  // namespace orvix::register_tool
