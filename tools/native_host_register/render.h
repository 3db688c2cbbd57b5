// What the commands print: aligned columns for people, or one JSON document
// (compact, members in ascending order) for scripts with --json.
#pragma once

#include <iosfwd>

#include "change_set.h"
#include "doctor.h"
#include "registration_targets.h"

namespace orvix::register_tool {

// install / uninstall: one line per file or key, then the failure if any
// (to `errors` in text mode).
void render_outcome(const Outcome& outcome, bool json, std::ostream& out, std::ostream& errors);

// list: every known browser, detected or not, and its location per scope.
void render_list(const Roots& roots, bool json, std::ostream& out);

// doctor: one row per registration found (and per detected browser without
// one), each followed by what the host said and the problems with their fixes.
void render_doctor(const DoctorReport& report, bool json, std::ostream& out);

}  // namespace orvix::register_tool
