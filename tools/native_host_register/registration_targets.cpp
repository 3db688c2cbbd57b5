#include "registration_targets.h"

#include "platform/environment.h"
#include "support/os_family.h"
#include "platform/path.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

constexpr const char* kManifestFolder = "NativeMessagingHosts";

// Linux and macOS locations: '/'-separated, whatever system computes them
// (the tests check every system's table on every build).
std::string below(std::string base, std::string_view relative) {
  if (!base.empty() && base.back() != '/') base += '/';
  return base + std::string(relative);
}

std::string manifest_file_in(const std::string& folder) { return below(folder, std::string(kHostName) + ".json"); }

// The browser's own per-user folder, which holds its profiles.
std::optional<std::string> user_data_folder(const Roots& roots, const BrowserRow& browser) {
  if (roots.home.empty()) return std::nullopt;
  if (!browser.flatpak_app.empty()) {
    if (roots.macos || roots.windows) return std::nullopt;
    return below(below(roots.home, ".var/app/" + std::string(browser.flatpak_app) + "/config"), browser.linux_user);
  }
  if (roots.macos) {
    if (browser.mac_user.empty()) return std::nullopt;
    return below(below(roots.home, "Library/Application Support"), browser.mac_user);
  }
  if (browser.linux_user.empty() || roots.config_home.empty()) return std::nullopt;
  return below(roots.config_home, browser.linux_user);
}

std::string registry_key_of(const BrowserRow& browser) {
  return "Software\\" + std::string(browser.windows_key) + "\\NativeMessagingHosts\\" + kHostName;
}

}  // namespace

const char* scope_name(Scope scope) { return scope == Scope::user ? "user" : "system"; }

std::string RegistryLocation::display() const {
  return std::string(hive == platform::RegistryHive::current_user ? "HKCU\\" : "HKLM\\") + key;
}

std::string Target::where() const { return registry ? registry->display() : manifest_path; }

Roots Roots::from_environment() {
  Roots roots;
  const platform::OsFamily family = platform::os_family();
  roots.windows = family == platform::OsFamily::windows;
  roots.macos = family == platform::OsFamily::macos;
  roots.home = platform::environment_variable("HOME").value_or("");
  // The XDG rules ignore a relative value.
  auto xdg = platform::environment_variable("XDG_CONFIG_HOME");
  if (xdg && platform::is_absolute_path(*xdg)) {
    roots.config_home = *xdg;
  } else if (!roots.home.empty()) {
    roots.config_home = below(roots.home, ".config");
  }
  roots.system_prefix = platform::environment_variable("ORVIX_REGISTER_SYSTEM_ROOT").value_or("");
  if (roots.windows) roots.local_app_data = platform::environment_variable("LOCALAPPDATA").value_or("");
  while (roots.system_prefix.size() > 1 && roots.system_prefix.back() == '/') roots.system_prefix.pop_back();
  if (roots.system_prefix == "/") roots.system_prefix.clear();
  return roots;
}

std::optional<Target> target_for(const Roots& roots, const BrowserRow& browser, Scope scope) {
  Target target;
  target.browser = &browser;
  target.scope = scope;
  if (roots.windows) {
    if (browser.windows_key.empty()) return std::nullopt;
    target.registry = RegistryLocation{
        scope == Scope::user ? platform::RegistryHive::current_user : platform::RegistryHive::local_machine,
        registry_key_of(browser)};
    return target;
  }
  if (scope == Scope::user) {
    auto folder = user_data_folder(roots, browser);
    if (!folder) return std::nullopt;
    target.manifest_path = manifest_file_in(below(*folder, kManifestFolder));
    return target;
  }
  const std::string_view system_folder = roots.macos ? browser.mac_system : browser.linux_system;
  if (system_folder.empty() || !browser.flatpak_app.empty()) return std::nullopt;
  target.manifest_path = manifest_file_in(roots.system_prefix + std::string(system_folder));
  return target;
}

bool is_detected(const Roots& roots, const BrowserRow& browser) {
  if (roots.windows) {
    if (browser.windows_data.empty() || roots.local_app_data.empty()) return false;
    return platform::is_directory(platform::join_path(roots.local_app_data, browser.windows_data));
  }
  if (!browser.flatpak_app.empty()) {
    if (roots.home.empty() || roots.macos) return false;
    return platform::is_directory(below(roots.home, ".var/app/" + std::string(browser.flatpak_app)));
  }
  auto folder = user_data_folder(roots, browser);
  return folder && platform::is_directory(*folder);
}

std::vector<const BrowserRow*> detected_browsers(const Roots& roots) {
  std::vector<const BrowserRow*> found;
  for (const BrowserRow& row : known_browsers()) {
    if (is_detected(roots, row)) found.push_back(&row);
  }
  return found;
}

}  // namespace orvix::register_tool
