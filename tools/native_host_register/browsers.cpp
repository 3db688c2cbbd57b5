#include "browsers.h"

#include <algorithm>
#include <array>

#include "base/path.h"
#include "host_manifest.h"
#include "platform/environment.h"
#include "support/file_owner.h"
#include "support/os_family.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

using support::RegistryHive;
using support::RegistryView;

// Sources, named beside each row:
// [chrome]
// https://developer.chrome.com/docs/extensions/develop/concepts/native-messaging#native-messaging-host-location
//            (locations of Chrome and Chromium on each system; every Chrome channel reads the same system
//            folder and the same registry key)
// [datadir]  https://chromium.googlesource.com/chromium/src/+/HEAD/docs/user_data_dir.md
//            (the user data folder of each Chrome channel and of Chromium on each system; the user-level
//            manifest folder lies inside it; on Windows the folder only tells that the browser is there;
//            on Linux, Chrome and Chromium take the folder below $CHROME_CONFIG_HOME before
//            $XDG_CONFIG_HOME)
// [edge]     https://learn.microsoft.com/microsoft-edge/extensions/developer-guide/native-messaging
//            (Edge's folders per channel and its registry key)
// [brave]    https://github.com/brave/brave-browser/wiki/Installing-Brave-on-Linux and
//            https://support.brave.com (user data folders of the Brave channels); Brave keeps Chromium's
//            manifest layout inside them
// [vivaldi]  https://help.vivaldi.com/desktop/miscellaneous/where-is-my-vivaldi-profile-stored/
// [opera]    https://help.opera.com/en/latest/crashes-and-issues/#findProfile (profile folders; Opera reads
//            manifests the Chromium way inside them)
// [yandex]   https://browser.yandex.com/help/ (profile folders of Yandex Browser)
// [thorium]  https://github.com/Alex313031/thorium (README: profile folders of Thorium)
// [flatpak]  https://docs.flatpak.org/en/latest/conventions.html#xdg-base-directories (a Flatpak app's
//            XDG_CONFIG_HOME is ~/.var/app/<app id>/config) and the app ids on https://flathub.org
// Where a source documents no system-wide folder or registry key for a browser, the field stays empty.
constexpr std::array kBrowsers{
    // clang-format off
    //            name                display name                linux user                             linux system                              mac user                               mac system                                                    windows key                             windows data                                       flatpak app
    BrowserRow{"chrome",           "Google Chrome",            "google-chrome",                       "/etc/opt/chrome/native-messaging-hosts", "Google/Chrome",                       "/Library/Google/Chrome/NativeMessagingHosts",                "Google\\Chrome",                       "Google\\Chrome\\User Data",                       ""},  // [chrome]
    BrowserRow{"chrome-beta",      "Google Chrome Beta",       "google-chrome-beta",                  "/etc/opt/chrome/native-messaging-hosts", "Google/Chrome Beta",                  "/Library/Google/Chrome/NativeMessagingHosts",                "Google\\Chrome",                       "Google\\Chrome Beta\\User Data",                  ""},  // [chrome] [datadir]
    BrowserRow{"chrome-dev",       "Google Chrome Dev",        "google-chrome-unstable",              "/etc/opt/chrome/native-messaging-hosts", "Google/Chrome Dev",                   "/Library/Google/Chrome/NativeMessagingHosts",                "Google\\Chrome",                       "Google\\Chrome Dev\\User Data",                   ""},  // [chrome] [datadir]
    BrowserRow{"chrome-canary",    "Google Chrome Canary",     "google-chrome-canary",                "/etc/opt/chrome/native-messaging-hosts", "Google/Chrome Canary",                "/Library/Google/Chrome/NativeMessagingHosts",                "Google\\Chrome",                       "Google\\Chrome SxS\\User Data",                   ""},  // [chrome] [datadir]
    BrowserRow{"chromium",         "Chromium",                 "chromium",                            "/etc/chromium/native-messaging-hosts",   "Chromium",                            "/Library/Application Support/Chromium/NativeMessagingHosts", "Chromium",                             "Chromium\\User Data",                             ""},  // [chrome]
    BrowserRow{"edge",             "Microsoft Edge",           "microsoft-edge",                      "/etc/opt/edge/native-messaging-hosts",   "Microsoft Edge",                      "/Library/Microsoft/Edge/NativeMessagingHosts",               "Microsoft\\Edge",                      "Microsoft\\Edge\\User Data",                      ""},  // [edge]
    BrowserRow{"edge-beta",        "Microsoft Edge Beta",      "microsoft-edge-beta",                 "/etc/opt/edge/native-messaging-hosts",   "Microsoft Edge Beta",                 "/Library/Microsoft/Edge/NativeMessagingHosts",               "Microsoft\\Edge",                      "Microsoft\\Edge Beta\\User Data",                 ""},  // [edge]
    BrowserRow{"edge-dev",         "Microsoft Edge Dev",       "microsoft-edge-dev",                  "/etc/opt/edge/native-messaging-hosts",   "Microsoft Edge Dev",                  "/Library/Microsoft/Edge/NativeMessagingHosts",               "Microsoft\\Edge",                      "Microsoft\\Edge Dev\\User Data",                  ""},  // [edge]
    BrowserRow{"brave",            "Brave",                    "BraveSoftware/Brave-Browser",         "",                                       "BraveSoftware/Brave-Browser",         "",                                                           "BraveSoftware\\Brave-Browser",         "BraveSoftware\\Brave-Browser\\User Data",         ""},  // [brave]
    BrowserRow{"brave-beta",       "Brave Beta",               "BraveSoftware/Brave-Browser-Beta",    "",                                       "BraveSoftware/Brave-Browser-Beta",    "",                                                           "BraveSoftware\\Brave-Browser-Beta",    "BraveSoftware\\Brave-Browser-Beta\\User Data",    ""},  // [brave]
    BrowserRow{"brave-nightly",    "Brave Nightly",            "BraveSoftware/Brave-Browser-Nightly", "",                                       "BraveSoftware/Brave-Browser-Nightly", "",                                                           "BraveSoftware\\Brave-Browser-Nightly", "BraveSoftware\\Brave-Browser-Nightly\\User Data", ""},  // [brave]
    BrowserRow{"vivaldi",          "Vivaldi",                  "vivaldi",                             "",                                       "Vivaldi",                             "",                                                           "Vivaldi",                              "Vivaldi\\User Data",                              ""},  // [vivaldi]
    BrowserRow{"opera",            "Opera",                    "opera",                               "",                                       "com.operasoftware.Opera",             "",                                                           "Opera Software",                       "Opera Software\\Opera Stable",                    ""},  // [opera]
    BrowserRow{"yandex",           "Yandex Browser",           "yandex-browser",                      "",                                       "Yandex/YandexBrowser",                "",                                                           "Yandex\\YandexBrowser",                "Yandex\\YandexBrowser\\User Data",                ""},  // [yandex]
    BrowserRow{"thorium",          "Thorium",                  "thorium",                             "",                                       "Thorium",                             "",                                                           "",                                     "",                                                ""},  // [thorium]
    BrowserRow{"chrome-flatpak",   "Google Chrome (Flatpak)",  "google-chrome",                       "",                                       "",                                    "",                                                           "",                                     "",                                                "com.google.Chrome"},  // [chrome] [flatpak]
    BrowserRow{"chromium-flatpak", "Chromium (Flatpak)",       "chromium",                            "",                                       "",                                    "",                                                           "",                                     "",                                                "org.chromium.Chromium"},  // [chrome] [flatpak]
    BrowserRow{"edge-flatpak",     "Microsoft Edge (Flatpak)", "microsoft-edge",                      "",                                       "",                                    "",                                                           "",                                     "",                                                "com.microsoft.Edge"},  // [edge] [flatpak]
    BrowserRow{"brave-flatpak",    "Brave (Flatpak)",          "BraveSoftware/Brave-Browser",         "",                                       "",                                    "",                                                           "",                                     "",                                                "com.brave.Browser"},  // [brave] [flatpak]
    // clang-format on
};

// The programs each browser's Linux package installs, for the browsers with a
// system-wide folder (the others cannot be registered for every user). Sources:
// [linux-package] https://chromium.googlesource.com/chromium/src/+/HEAD/chrome/installer/linux/common/installer.include
//            (a Chrome channel's package installs into /opt/google/chrome[-<channel>] with a link
//            /usr/bin/google-chrome-<channel>)
// [edge-package] https://packages.microsoft.com/repos/edge/ (the microsoft-edge-<channel> packages: the same
//            layout, /opt/microsoft/msedge[-<channel>]/msedge and /usr/bin/microsoft-edge-<channel>)
// [chromium-package] https://packages.debian.org/stable/amd64/chromium/filelist (/usr/bin/chromium) and
//            https://packages.fedoraproject.org/pkgs/chromium/chromium/ (/usr/bin/chromium-browser)
struct LinuxPrograms {
  std::string_view browser;
  std::array<std::string_view, 2> paths;
};
constexpr std::array kLinuxPrograms{
    LinuxPrograms{"chrome", {"/opt/google/chrome/chrome", "/usr/bin/google-chrome-stable"}},  // [linux-package]
    LinuxPrograms{"chrome-beta", {"/opt/google/chrome-beta/chrome", "/usr/bin/google-chrome-beta"}},
    LinuxPrograms{"chrome-dev", {"/opt/google/chrome-unstable/chrome", "/usr/bin/google-chrome-unstable"}},
    LinuxPrograms{"chrome-canary", {"/opt/google/chrome-canary/chrome", "/usr/bin/google-chrome-canary"}},
    LinuxPrograms{"chromium", {"/usr/bin/chromium", "/usr/bin/chromium-browser"}},              // [chromium-package]
    LinuxPrograms{"edge", {"/opt/microsoft/msedge/msedge", "/usr/bin/microsoft-edge-stable"}},  // [edge-package]
    LinuxPrograms{"edge-beta", {"/opt/microsoft/msedge-beta/msedge", "/usr/bin/microsoft-edge-beta"}},
    LinuxPrograms{"edge-dev", {"/opt/microsoft/msedge-dev/msedge", "/usr/bin/microsoft-edge-dev"}},
};

// Linux and macOS locations: '/'-separated, whatever system computes them
// (the tests check every system's table on every build).
std::string below(std::string base, std::string_view relative) {
  if (!base.empty() && base.back() != '/') base += '/';
  return base + std::string(relative);
}

std::string manifest_file_in(const std::string& folder) { return below(folder, std::string(kHostName) + ".json"); }

// Google Chrome's channels and Chromium read CHROME_CONFIG_HOME [datadir]; no
// other browser documents it, and a Flatpak sandbox gets its own folder.
bool reads_chrome_config_home(const BrowserRow& browser) {
  return browser.flatpak_app.empty() && (browser.name == "chromium" || browser.name.starts_with("chrome"));
}

// Whether two '/'-separated folders are one, "/home/u/.config/" being "/home/u/.config".
bool same_folder(std::string_view a, std::string_view b) {
  while (a.size() > 1 && a.back() == '/') a.remove_suffix(1);
  while (b.size() > 1 && b.back() == '/') b.remove_suffix(1);
  return a == b;
}

// The folder the browser's Linux user data folder lies in, and the variable that set it ("" for none).
std::pair<std::string, std::string_view> linux_config_home(const Roots& roots, const BrowserRow& browser) {
  if (!roots.chrome_config_home.empty() && reads_chrome_config_home(browser)) {
    return {roots.chrome_config_home, "CHROME_CONFIG_HOME"};
  }
  return {roots.config_home, same_folder(roots.config_home, roots.desktop_config_home) ? "" : "XDG_CONFIG_HOME"};
}

}  // namespace

std::optional<std::string> user_data_folder(const Roots& roots, const BrowserRow& browser) {
  if (!roots.user_data_dir.empty()) return roots.user_data_dir;
  if (roots.windows) {
    if (browser.windows_data.empty() || roots.local_app_data.empty()) return std::nullopt;
    return join_path(roots.local_app_data, browser.windows_data);
  }
  if (roots.home.empty()) return std::nullopt;
  if (!browser.flatpak_app.empty()) {
    if (roots.macos || roots.windows) return std::nullopt;
    return below(below(roots.home, ".var/app/" + std::string(browser.flatpak_app) + "/config"), browser.linux_user);
  }
  if (roots.macos) {
    if (browser.mac_user.empty()) return std::nullopt;
    return below(below(roots.home, "Library/Application Support"), browser.mac_user);
  }
  const std::string config_home = linux_config_home(roots, browser).first;
  if (browser.linux_user.empty() || config_home.empty()) return std::nullopt;
  return below(config_home, browser.linux_user);
}

std::optional<MovedFolder> moved_user_folder(const Roots& roots, const BrowserRow& browser) {
  if (roots.windows || roots.macos || !browser.flatpak_app.empty() || browser.linux_user.empty() ||
      !roots.user_data_dir.empty()) {
    return std::nullopt;
  }
  const auto [config_home, variable] = linux_config_home(roots, browser);
  if (variable.empty() || roots.desktop_config_home.empty() || same_folder(config_home, roots.desktop_config_home)) {
    return std::nullopt;
  }
  return MovedFolder{std::string(variable), below(roots.desktop_config_home, browser.linux_user)};
}

std::optional<std::string> user_data_dir_note(const Roots& roots, const BrowserRow& browser) {
  if (roots.user_data_dir.empty()) return std::nullopt;
  const std::string started =
      std::string(browser.display_name) + " started with --user-data-dir=" + roots.user_data_dir;
  if (roots.windows) {
    auto target = target_for(roots, browser, Scope::user);
    return started + " still reads its per-user registration from " + (target ? target->where() : "HKCU") +
           " (a Windows browser reads the registry whatever its folder); only its profiles are in that folder.";
  }
  return started + " reads its per-user registration in " + below(roots.user_data_dir, "NativeMessagingHosts") +
         " and its profiles there, instead of its usual folder.";
}

namespace {

// The programs of `browser` (kLinuxPrograms) below the system root.
std::vector<std::string> program_paths(const Roots& roots, const BrowserRow& browser) {
  std::vector<std::string> paths;
  if (roots.windows || roots.macos) return paths;
  for (const auto& programs : kLinuxPrograms) {
    if (programs.browser != browser.name) continue;
    for (std::string_view path : programs.paths) paths.push_back(roots.system_prefix + std::string(path));
  }
  return paths;
}

// What is_installed() looks for, below the system root: the folder above the
// system-wide manifest folder, then the programs.
std::vector<std::string> installation_signs(const Roots& roots, const BrowserRow& browser) {
  if (roots.windows || roots.macos || browser.linux_system.empty()) return {};
  // The table's folders are '/'-separated on every build.
  const std::string_view system = browser.linux_system;
  std::vector<std::string> signs{roots.system_prefix + std::string(system.substr(0, system.rfind('/')))};
  for (auto& path : program_paths(roots, browser)) signs.push_back(std::move(path));
  return signs;
}

bool any_exists(const std::vector<std::string>& paths) {
  return std::any_of(paths.begin(), paths.end(), [](const std::string& path) { return platform::path_exists(path); });
}

std::string known_names() {
  std::string names;
  for (const auto& row : kBrowsers) names += (names.empty() ? "" : ", ") + std::string(row.name);
  return names;
}

void add_once(std::vector<const BrowserRow*>& rows, const BrowserRow* row) {
  if (std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
}

}  // namespace

std::span<const BrowserRow> known_browsers() { return kBrowsers; }

const BrowserRow* find_browser(std::string_view name) {
  for (const BrowserRow& row : kBrowsers) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

const char* scope_name(Scope scope) { return scope == Scope::user ? "user" : "system"; }

Roots Roots::from_environment() {
  Roots roots;
  const support::OsFamily family = support::os_family();
  roots.windows = family == support::OsFamily::windows;
  roots.macos = family == support::OsFamily::macos;
  // Without HOME (or with it empty) the browser takes the home the user
  // database gives, as glib does; so does this tool, to look where it looks.
  const auto home = platform::environment_variable("HOME");
  roots.home = home && !home->empty() ? *home : roots.windows ? std::string() : support::user_database_home();
  // The XDG rules ignore a relative value.
  auto xdg_folder = [&](const char* variable, std::string_view below_home) {
    auto xdg = platform::environment_variable(variable);
    if (xdg && support::is_absolute_path(*xdg)) return *xdg;
    return roots.home.empty() ? std::string() : below(roots.home, below_home);
  };
  roots.config_home = xdg_folder("XDG_CONFIG_HOME", ".config");
  roots.desktop_config_home = roots.home.empty() ? std::string() : below(roots.home, ".config");
  // The browsers take CHROME_CONFIG_HOME as it is; a relative one would depend
  // on the folder they were started in, which this tool cannot know.
  auto chrome_config = platform::environment_variable("CHROME_CONFIG_HOME");
  if (chrome_config && support::is_absolute_path(*chrome_config)) roots.chrome_config_home = *chrome_config;
  roots.data_home = xdg_folder("XDG_DATA_HOME", ".local/share");
  roots.system_prefix = platform::environment_variable("ORVIX_REGISTER_SYSTEM_ROOT").value_or("");
  if (roots.windows) roots.local_app_data = platform::environment_variable("LOCALAPPDATA").value_or("");
  while (roots.system_prefix.size() > 1 && roots.system_prefix.back() == '/') roots.system_prefix.pop_back();
  if (roots.system_prefix == "/") roots.system_prefix.clear();
  return roots;
}

std::string Target::where() const { return registry ? registry_display(*registry) : manifest_path; }

std::optional<Target> target_for(const Roots& roots, const BrowserRow& browser, Scope scope) {
  Target target;
  target.browser = &browser;
  target.scope = scope;
  if (roots.windows) {
    if (browser.windows_key.empty()) return std::nullopt;
    target.registry = RegistryLocation{scope == Scope::user ? RegistryHive::current_user : RegistryHive::local_machine,
                                       hosts_key(browser.windows_key)};
    return target;
  }
  if (scope == Scope::user) {
    auto folder = user_data_folder(roots, browser);
    if (!folder) return std::nullopt;
    target.manifest_path = manifest_file_in(below(*folder, "NativeMessagingHosts"));
    return target;
  }
  const std::string_view system_folder = roots.macos ? browser.mac_system : browser.linux_system;
  if (system_folder.empty()) return std::nullopt;
  target.manifest_path = manifest_file_in(roots.system_prefix + std::string(system_folder));
  return target;
}

bool is_detected(const Roots& roots, const BrowserRow& browser) {
  // The user says the browser runs on that folder, which it makes at its first start.
  if (!roots.user_data_dir.empty()) return true;
  if (!browser.flatpak_app.empty() && !roots.windows) {
    if (roots.home.empty() || roots.macos) return false;
    return support::is_directory(below(roots.home, ".var/app/" + std::string(browser.flatpak_app)));
  }
  auto folder = user_data_folder(roots, browser);
  return folder && support::is_directory(*folder);
}

Result<void> check_browser_names(const std::vector<std::string>& names) {
  for (const auto& name : names) {
    if (name != "all" && find_browser(name) == nullptr) {
      return Failure{Failure::Kind::kInvalidInput,
                     "Unknown browser \"" + name + "\"; known browsers: " + known_names() + "."};
    }
  }
  return {};
}

bool is_installed(const Roots& roots, const BrowserRow& browser) {
  if (roots.windows || roots.macos) return is_detected(roots, browser);
  return any_exists(installation_signs(roots, browser));
}

bool has_program(const Roots& roots, const BrowserRow& browser) { return any_exists(program_paths(roots, browser)); }

Result<std::vector<const BrowserRow*>> select_browsers(const Roots& given_roots, const std::vector<std::string>& names,
                                                       WhenNoneNamed none_named, std::string* first_run) {
  if (auto known = check_browser_names(names); !known) return known.error();
  // Which browsers the user has tells their own folders, not the one given
  // with --user-data-dir, which would make every browser look detected.
  Roots roots = given_roots;
  roots.user_data_dir.clear();
  const bool one_folder = !given_roots.user_data_dir.empty();
  if (one_folder && none_named == WhenNoneNamed::every_known) none_named = WhenNoneNamed::detected;
  std::vector<const BrowserRow*> rows;
  bool wanted_detected = names.empty() && none_named != WhenNoneNamed::every_known;
  if (names.empty() && none_named == WhenNoneNamed::every_known) {
    for (const auto& row : kBrowsers) rows.push_back(&row);
  }
  for (const auto& name : names) {
    if (name == "all") {
      wanted_detected = true;
      continue;
    }
    add_once(rows, find_browser(name));
  }
  const bool machine = none_named == WhenNoneNamed::installed;
  if (wanted_detected) {
    for (const auto& row : kBrowsers) {
      if (machine ? is_installed(roots, row) : is_detected(roots, row)) add_once(rows, &row);
    }
  }
  // In a home where no browser has run yet, the installed ones: each reads
  // the registration at its first start, so a first install just works.
  if (wanted_detected && !machine && rows.empty()) {
    std::string found;
    for (const auto& row : kBrowsers) {
      if (!has_program(roots, row)) continue;
      rows.push_back(&row);
      found += (found.empty() ? "" : ", ") + std::string(row.display_name);
    }
    if (first_run != nullptr && !rows.empty()) {
      *first_run = "No browser has run yet for this user; this registration is for " +
                   std::string(rows.size() > 1 ? "those" : "the one") + " installed on this machine: " + found + ".";
    }
  }
  if (one_folder && rows.size() > 1) {
    std::string found;
    for (const auto* row : rows) found += (found.empty() ? "" : ", ") + std::string(row->name);
    return Failure{Failure::Kind::kInvalidInput,
                   "--user-data-dir names the folder of one browser, and more than one is here (" + found +
                       "); name the one started with it with --browser."};
  }
  if (rows.empty() && machine && !roots.windows && !roots.macos) {
    std::vector<std::string> signs;
    for (const auto& row : kBrowsers) {
      for (auto& sign : installation_signs(roots, row)) {
        if (std::find(signs.begin(), signs.end(), sign) == signs.end()) signs.push_back(std::move(sign));
      }
    }
    std::string looked_for;
    for (const auto& sign : signs) looked_for += (looked_for.empty() ? "" : ", ") + sign;
    return Failure{Failure::Kind::kInvalidInput,
                   "No browser that can be registered for every user was found on this machine (looked for " +
                       looked_for + "); name one with --browser (\"" + kProgramName + " list\" shows them all)."};
  }
  if (rows.empty()) {
    return Failure{
        Failure::Kind::kInvalidInput,
        std::string("No supported browser was detected for this user, nor installed on this machine; name one "
                    "with --browser (\"") +
            kProgramName + " list\" shows them all)."};
  }
  return rows;
}

std::vector<Location> by_location(const std::vector<Target>& targets) {
  std::vector<Location> locations;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const Target& target = targets[i];
    auto same = std::find_if(locations.begin(), locations.end(), [&](const Location& location) {
      return location.target.where() == target.where() && location.target.scope == target.scope;
    });
    if (same == locations.end()) same = locations.insert(locations.end(), Location{target, {}, i});
    same->browsers.emplace_back(target.browser->name);
  }
  return locations;
}

std::string hosts_key(std::string_view below_software) {
  return "Software\\" + std::string(below_software) + "\\NativeMessagingHosts\\" + kHostName;
}

std::vector<RegistryView> views_of(RegistryHive hive) {
  if (hive == RegistryHive::local_machine) return {RegistryView::bits64, RegistryView::bits32};
  return {RegistryView::bits64};
}

std::string registry_display(const RegistryLocation& key, std::optional<RegistryView> view) {
  std::string text = (key.hive == RegistryHive::current_user ? "HKCU\\" : "HKLM\\") + key.key;
  if (view) text += *view == RegistryView::bits64 ? " (64-bit view)" : " (32-bit view)";
  return text;
}

Result<std::optional<std::string>> read_registration(const RegistryLocation& key, RegistryView view) {
  auto value = support::read_default_value(key.hive, view, key.key);
  if (!value) {
    return Failure{Failure::Kind::kSystem,
                   "Cannot read " + registry_display(key, view) + ": " + value.error().text + "."};
  }
  return std::move(*value);
}

}  // namespace orvix::register_tool
