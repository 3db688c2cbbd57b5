#include "tools/support/child_commands.h"

namespace orvix::support::testing {

namespace {
std::vector<std::string> shell(std::string script) { return {"/bin/sh", "-c", std::move(script)}; }
}  // namespace

std::vector<std::string> printing(std::string_view text) { return shell("printf " + std::string(text)); }

std::vector<std::string> printing_to_both(std::string_view out, std::string_view err) {
  return shell("printf " + std::string(out) + "; printf " + std::string(err) + " >&2");
}

std::string printed(std::string_view text) { return std::string(text); }

std::vector<std::string> exiting_with(int code) { return shell("exit " + std::to_string(code)); }

std::vector<std::string> showing_variables(std::string_view set, std::string_view unset) {
  return shell("printf '%s|%s' \"$" + std::string(set) + "\" \"${" + std::string(unset) + "-unset}\"");
}

std::string shown_variables(std::string_view, std::string_view value, std::string_view) {
  return std::string(value) + "|unset";
}

}  // namespace orvix::support::testing
