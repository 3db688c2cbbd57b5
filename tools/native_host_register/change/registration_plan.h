// The plan that install and uninstall (install.h, uninstall.h) make before
// they change anything, and its application as one set.
//
// A command plans every change first and refuses, before touching anything,
// when a check fails. Then the steps are applied in order: when one fails,
// the steps before it are undone, newest first (a replaced file gets its old
// content back, a new one is removed, a registry value is restored or its key
// deleted), so a failed command leaves nothing half-written.
//
// Runs that change the same registration at once take turns: a command
// plans once to learn the files it looks at, locks their folders
// (registration_lock.h, waiting up to kLockWait for another run), removes
// the temporaries that killed runs left there, then plans again under the
// locks and applies, so that what it merged into a manifest is what the
// manifest held when it replaced it. A run that cannot get a lock in time
// changes nothing and says so.
//
// The report has one line per file or key (with --json, one document that
// also carries the failure); a failure without --json is returned for the
// caller to print. Blocks for the file system, the registry, and at most
// kLockWait for another run.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "browsers.h"
#include "request.h"

namespace orvix::register_tool {

// One line of a command's report.
struct Change {
  std::string action;                 // "wrote", "would write", "unchanged", "removed", "set", ...
  std::string where;                  // the file, or the key and its view
  std::vector<std::string> browsers;  // the browsers it serves
  Scope scope = Scope::user;
};

// One file or registry value to set to `value`, or to remove when `value` is nothing.
struct Step {
  std::string path{};                     // the file; empty for a registry value
  std::optional<RegistryLocation> key{};  // the registry value: the key's default value in `view`
  support::RegistryView view = support::RegistryView::bits64;
  std::optional<std::string> value{};
  std::optional<std::string> previous{};  // what was there before (nothing: no file, no value)
  bool shared = false;                    // a file readable by every user (system scope)
  bool executable = false;                // a script every user may run (a Flatpak wrapper)
  std::vector<std::string> browsers{};    // the browsers it serves, for the report
  Scope scope = Scope::user;
  bool container = false;  // the folder or key that held a registration, removed as it is left empty
};

// What a command will change, in order, and what it reports besides.
struct Plan {
  std::vector<std::string> files;  // every manifest and wrapper looked at, changed or not (their folders are locked)
  std::vector<Step> steps;
  std::vector<Change> unchanged;  // report lines about what stays as it was
  std::vector<std::string> warnings;
  std::vector<std::string> permissions;  // commands the user still has to run once (Flatpak)
  std::vector<std::string> notes;        // what the user should know of the choices made
};

// Adds `step`, which writes a file or sets a registry value; or, when
// `unchanged` (it holds that value already), the report line that says so.
void plan_write(Plan& plan, Step step, bool unchanged);

// The locations of `rows` in `scope`, each once with the browsers it serves.
// A browser without one is refused, or left out when `skip_missing`.
[[nodiscard]] Result<std::vector<Location>> locations_of(const Roots& roots, const std::vector<const BrowserRow*>& rows,
                                                         Scope scope, bool skip_missing);

// Adds a report line for each of `removed` that is a temporary of `file`.
void note_removed_temporaries(Plan& plan, const std::vector<std::string>& removed, const std::string& file,
                              const Location& location);

// How long a run waits for another run that changes the same registration.
inline constexpr std::chrono::milliseconds kLockWait{10000};

// Makes a plan; `removed` are the temporaries of killed runs just removed
// from the folders of its files (empty on the first call).
using Planner = std::function<Result<Plan>(const std::vector<std::string>& removed)>;

// Plans, locks and plans again (above), then applies the plan, or only
// reports the first with --dry-run (which locks nothing); then prints the
// report (--json: one document). With `make_folders` (install) the folders
// of the plan's files are made before they are locked, and taken back when
// the command ends changing nothing. Returns the exit status, or the failure
// (of planning, locking or applying) for the caller to print; with --json, a
// failure is in the document and the status is 1. A --system change that
// fails in a run without root (Windows: without an administrator's token)
// says how to run it with that right.
[[nodiscard]] Result<int> plan_and_apply(const Planner& planner, bool make_folders, const Roots& roots,
                                         const CommandLine& line, std::ostream& out);

}  // namespace orvix::register_tool
