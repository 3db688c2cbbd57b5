// The registration tool's whole run: parse the command line, run the
// command, print its report. Returns the exit status: 0 done, 1 failed (or
// doctor found a problem), 2 usage error. Never throws.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace orvix::register_tool {

int run_register(const std::string& argv0, const std::vector<std::string>& args, std::ostream& out,
                 std::ostream& errors);

}  // namespace orvix::register_tool
