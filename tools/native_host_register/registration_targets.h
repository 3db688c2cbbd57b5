// Where a browser's registration of the host lives on this machine, for one
// scope: a manifest file (Linux, macOS) or a registry key naming a manifest
// (Windows).
//
// Roots come from the environment, so tests and packagers can move them:
//   HOME                  the user's home (Linux, macOS)
//   XDG_CONFIG_HOME       Linux user configuration; else $HOME/.config
//   ORVIX_REGISTER_SYSTEM_ROOT
//                         a prefix put before every system-wide folder
//                         (/etc/..., /Library/...), for packagers staging a
//                         root and for tests; unset means "/"
// On Windows, user scope is HKCU and system scope HKLM; the manifest lies
// beside the host.
//
// A browser counts as detected when its user data folder exists: below
// $XDG_CONFIG_HOME (Linux), ~/Library/Application Support (macOS) or
// %LOCALAPPDATA% (Windows); for Flatpak rows, its ~/.var/app/<app id> folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "browser_table.h"
#include "support/registry.h"

namespace orvix::register_tool {

inline constexpr const char* kHostName = "com.orvix.chrome_native_host";

enum class Scope { user, system };

const char* scope_name(Scope scope);

struct RegistryLocation {
  platform::RegistryHive hive;
  std::string key;  // ...\NativeMessagingHosts\com.orvix.chrome_native_host
  std::string display() const;  // "HKCU\Software\...", for people
};

struct Target {
  const BrowserRow* browser = nullptr;
  Scope scope = Scope::user;
  // Linux/macOS: the manifest file. Empty on Windows (see registry).
  std::string manifest_path;
  // Windows only: the key whose default value names the manifest.
  std::optional<RegistryLocation> registry;

  // Where the registration lives, for people: the file or the key.
  std::string where() const;
};

// What the environment says about this machine's roots.
struct Roots {
  std::string home;             // empty when HOME is unset
  std::string config_home;      // $XDG_CONFIG_HOME or $HOME/.config
  std::string system_prefix;    // $ORVIX_REGISTER_SYSTEM_ROOT or ""
  std::string local_app_data;   // %LOCALAPPDATA% (Windows)
  bool windows = false;
  bool macos = false;

  static Roots from_environment();
};

// The target of `browser` in `scope`, or nothing when the browser has no
// such location on this system (or the roots it needs are unknown).
std::optional<Target> target_for(const Roots& roots, const BrowserRow& browser, Scope scope);

// Whether `browser` appears installed for this user (see above).
bool is_detected(const Roots& roots, const BrowserRow& browser);

// The names of the detected browsers.
std::vector<const BrowserRow*> detected_browsers(const Roots& roots);

}  // namespace orvix::register_tool
