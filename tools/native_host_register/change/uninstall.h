// uninstall: the command that removes registrations, planned and applied as
// one set like install's (registration_plan.h).
//
// uninstall --host PATH removes only the registrations whose manifest names
// that host (what a package takes back on removal); the others are left and
// reported as "left". A Flatpak browser's wrapper goes after its manifest.
// uninstall also removes what it leaves empty and install makes when
// missing, never anything above: on Linux and macOS the manifest's folder
// (NativeMessagingHosts, native-messaging-hosts) and, in system scope, the
// browser's folder above it (/etc/opt/chrome, /etc/chromium, ...), but never
// a user data folder, /etc, /etc/opt or a home; on Windows the
// NativeMessagingHosts key, in each view, once it holds no subkey or value.
// A folder or key that holds anything else stays.
#pragma once

#include <iosfwd>

#include "base/result.h"
#include "request.h"

namespace orvix::register_tool {

[[nodiscard]] Result<int> uninstall_command(const Context& context, const CommandLine& line, std::ostream& out);

}  // namespace orvix::register_tool
