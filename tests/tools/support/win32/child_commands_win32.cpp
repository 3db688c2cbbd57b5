#include "tools/support/child_commands.h"

namespace orvix::support::testing {

namespace {
std::vector<std::string> shell(std::string command) { return {"cmd.exe", "/d", "/c", std::move(command)}; }
}  // namespace

std::vector<std::string> printing(std::string_view text) { return shell("echo " + std::string(text)); }

std::vector<std::string> printing_to_both(std::string_view out, std::string_view err) {
  return shell("echo " + std::string(out) + "& echo " + std::string(err) + ">&2");
}

std::string printed(std::string_view text) { return std::string(text) + "\r\n"; }

std::vector<std::string> exiting_with(int code) { return shell("exit " + std::to_string(code)); }

std::vector<std::string> showing_variables(std::string_view set, std::string_view unset) {
  return shell("echo [%" + std::string(set) + "%][%" + std::string(unset) + "%]");
}

// cmd.exe leaves the reference to a variable that is not set as it stands.
std::string shown_variables(std::string_view, std::string_view value, std::string_view unset) {
  return "[" + std::string(value) + "][%" + std::string(unset) + "%]\r\n";
}

}  // namespace orvix::support::testing
