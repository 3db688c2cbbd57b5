// doctor: for every chosen browser and scope, whether a registration exists
// and whether it works.
//
// A registration is checked the way the browser uses it: on Windows the
// registry value must name an existing manifest; the manifest must parse,
// carry the host's name, type "stdio", an existing executable host path
// (absolute on Linux and macOS) and well-formed allowed_origins. Then the
// host is started from that path with the first allowed origin as its
// argument and asked "hello" (hello_probe.h). Each problem comes with one
// concrete fix. Registrations shared by several browsers are checked once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hello_probe.h"
#include "registration_targets.h"

namespace orvix::register_tool {

struct Problem {
  std::string code;  // stable, for scripts
  std::string text;
  std::string fix;
};

struct Health {
  const BrowserRow* browser = nullptr;
  Scope scope = Scope::user;
  std::string where;  // the manifest file, or the registry key
  bool detected = false;
  bool registered = false;
  std::optional<std::string> manifest_path;  // the manifest checked
  std::optional<std::string> host_path;      // the host it names
  std::optional<HelloReport> hello;
  std::vector<Problem> problems;
  std::vector<std::string> notes;  // facts worth knowing that are not problems
};

struct DoctorReport {
  std::vector<Health> rows;
  bool any_registered = false;
  bool healthy = false;  // something is registered and nothing registered has a problem
};

DoctorReport run_doctor(const Roots& roots, const std::vector<const BrowserRow*>& browsers,
                        const std::string& own_path);

}  // namespace orvix::register_tool
