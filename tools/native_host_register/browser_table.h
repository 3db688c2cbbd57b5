// The browsers the registration tool knows, and where each one looks for
// native-messaging host manifests on each system.
//
// Every location is relative to a root that registration_targets.h supplies
// from the environment, so tests can point all of them at temporary folders.
// An empty field means the browser has no documented location of that kind
// (the tool then refuses that browser and scope with a clear message rather
// than guess).
#pragma once

#include <span>
#include <string_view>

namespace orvix::register_tool {

struct BrowserRow {
  std::string_view name;          // what --browser takes
  std::string_view display_name;  // what people read
  // Linux: the browser's user data folder below $XDG_CONFIG_HOME (for a
  // Flatpak row, below ~/.var/app/<flatpak_app>/config); manifests go into
  // its NativeMessagingHosts folder.
  std::string_view linux_user;
  // Linux: the absolute folder for manifests of every user.
  std::string_view linux_system;
  // macOS: the user data folder below ~/Library/Application Support.
  std::string_view mac_user;
  // macOS: the absolute folder for manifests of every user.
  std::string_view mac_system;
  // Windows: the key below HKCU\Software or HKLM\Software whose
  // NativeMessagingHosts subkey the browser reads.
  std::string_view windows_key;
  // Windows: the browser's user data folder below %LOCALAPPDATA%.
  std::string_view windows_data;
  // The Flatpak application id for browsers installed through Flatpak.
  std::string_view flatpak_app;
};

// Every known browser, in the order tables list them.
std::span<const BrowserRow> known_browsers();

// The row named `name`, or nullptr.
const BrowserRow* find_browser(std::string_view name);

}  // namespace orvix::register_tool
