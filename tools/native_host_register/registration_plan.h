// install, uninstall and print: the commands that write registrations (print
// shows what install would write; with --browser, what that browser reads).
//
// install and uninstall plan every change first and refuse, before touching
// anything, when a check fails: an id that is not one, a host that is not an
// executable file, a browser without a location in the scope, a manifest or
// registry value that names another host (unless --force). Then the changes
// are applied as one set: when a step fails, the steps before it are undone
// (a replaced manifest gets its old content back, a new one is removed, a
// registry value is restored or its key deleted), so a failed command leaves
// nothing half-written.
//
// For a Flatpak browser the manifest names a wrapper beside it (flatpak.h),
// written before the manifest and removed after it; install also prints
// the permission the app still lacks, as the command that grants it.
//
// uninstall --host PATH removes only the registrations whose manifest names
// that host (what a package takes back on removal); the others are left and
// reported as "left". uninstall also removes what it leaves empty and install
// makes when missing, never anything above: on Linux and macOS the manifest's
// folder (NativeMessagingHosts, native-messaging-hosts) and, in system scope,
// the browser's folder above it (/etc/opt/chrome, /etc/chromium, ...), but
// never a user data folder, /etc, /etc/opt or a home; on Windows the
// NativeMessagingHosts key, in each view, once it holds no subkey or value.
// A folder or key that holds anything else stays.
//
// The report has one line per file or key (with --json, one document that
// also carries the failure); a failure without --json is returned for the
// caller to print. Block only for the file system and the registry.
#pragma once

#include <iosfwd>

#include "command_line.h"
#include "platform/result.h"

namespace orvix::register_tool {

[[nodiscard]] Result<int> install_command(const Context& context, const CommandLine& line, std::ostream& out);
[[nodiscard]] Result<int> uninstall_command(const Context& context, const CommandLine& line, std::ostream& out);
[[nodiscard]] Result<int> print_command(const Context& context, const CommandLine& line, std::ostream& out);

}  // namespace orvix::register_tool
