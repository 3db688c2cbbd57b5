// Whether the browser can start a host file, and whether only the
// administrator can change what it starts: what a mode bit does not show.
// Shared by install, which refuses such a host, and doctor, which names the
// problem; both say the same.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers.h"
#include "host_manifest.h"

namespace orvix::register_tool {

// Where a host that cannot stay where it is may go: for every user a folder
// only the administrator may change, for one user a folder of their own
// (below the home folder), each on a file system that lets programs start.
inline constexpr std::string_view kSystemHostFolder = "/usr/local/lib/orvix";
inline constexpr std::string_view kWindowsSystemHostFolder = "C:\\Program Files";
inline constexpr std::string_view kUserHostFolder = ".local/lib/orvix";

// The first bytes of a program file that tell which system it is for.
inline constexpr std::size_t kProgramMagicSize = 4;

// The system a program starting with `start` was built for ("Windows",
// "Linux", "macOS") when this system (`roots`) cannot run it: a Windows
// program (MZ) outside Windows, a Linux one (ELF) on Windows or macOS, a
// macOS one (Mach-O) elsewhere. Nothing for what this system runs, for a
// script (a "#!" line) and for anything else: the start then tells nothing.
std::optional<std::string_view> foreign_system(std::string_view start, const Roots& roots);

// Why the browser cannot start `host` whatever its mode: it lies on a file
// system mounted noexec (host_on_noexec_mount), or it is a program for
// another system (host_wrong_system). Nothing when neither.
std::optional<ManifestProblem> unstartable_host(const std::string& host, const Roots& roots);

// A system-wide registration's host that users other than the administrator
// could replace, which every user's browser would then start
// (host_replaceable_by_users), with the paths that let them, in `paths`.
// Nothing when only the administrator can change it.
std::optional<ManifestProblem> replaceable_host(const std::string& host, const Roots& roots,
                                                std::vector<std::string>& paths);

// What install says after refusing a host for `problem` (unstartable_host()
// or replaceable_host()): where to put it instead, or how to make it safe.
std::string refusal_advice(const ManifestProblem& problem, const Roots& roots);

// Who alone may change what every user's browser starts: "root", or on
// Windows "administrators".
std::string_view administrator_word(const Roots& roots);

}  // namespace orvix::register_tool
