// install and uninstall: plan every change first, refuse before touching
// anything when a check fails, then apply the changes as one set.
#pragma once

#include <string>

#include "change_set.h"
#include "command_line.h"
#include "registration_targets.h"

namespace orvix::register_tool {

// The host program that install registers when --host is not given: the host
// beside this program.
std::string default_host_path(const Roots& roots, const std::string& own_path);

// Where the manifest lies on Windows: beside the host.
std::string windows_manifest_path(const std::string& host_path);

Outcome install(const Roots& roots, const CommandLine& line, const std::string& own_path);
Outcome uninstall(const Roots& roots, const CommandLine& line);

}  // namespace orvix::register_tool
