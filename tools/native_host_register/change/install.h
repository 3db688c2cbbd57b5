// install and print: the commands that write a registration, and show what
// install would write (with --browser, what that browser reads).
//
// install refuses, before touching anything (registration_plan.h): an id that
// is not one, a host that is not an executable file, a browser without a
// location in the scope, a manifest or registry value that names another
// host (unless --force). It makes the manifest's folder when missing. On
// Windows one manifest beside the host serves every browser, whose keys name
// it. For a Flatpak browser the manifest names a wrapper beside it
// (flatpak.h), written before the manifest; install also prints the
// permission the app still lacks, as the command that grants it.
#pragma once

#include <iosfwd>

#include "base/result.h"
#include "request.h"

namespace orvix::register_tool {

[[nodiscard]] Result<int> install_command(const Context& context, const CommandLine& line, std::ostream& out);
[[nodiscard]] Result<int> print_command(const Context& context, const CommandLine& line, std::ostream& out);

}  // namespace orvix::register_tool
