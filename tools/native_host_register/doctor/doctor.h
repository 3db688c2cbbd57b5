// doctor: for every chosen browser and scope, whether a registration exists
// and whether it works.
//
// A registration is checked the way the browser uses it: on Windows the
// registry value must name an existing manifest; the manifest must parse,
// carry the host's name, type "stdio", an existing executable host path
// (absolute on Linux and macOS; on Windows one that cmd.exe carries
// unchanged) and well-formed allowed_origins. Then the host is started from
// that path as the browser starts it and asked "hello" (probe_host). A
// Flatpak browser's manifest must name the wrapper of this tool (flatpak.h),
// which must be executable and start such a host; hello goes through the
// wrapper where flatpak-spawn is on PATH, else to the host directly (a note
// says which); and the app's Flatpak permissions must let it talk to
// org.freedesktop.Flatpak. Each problem comes with one concrete fix, a
// command that works as printed (fix_lines.h); a user-scope manifest (or its
// folder) that another user owns is named with the command that gives it
// back. A registration that several browsers share is checked once. The
// report also says where a host started from this environment looks for the
// runtime and logs.
//
// Then each browser is judged as it looks for the host (judge_browsers):
// the registration it really reads, the policies that block it, and the
// extensions it admits. A detected browser (or one named with --browser)
// that cannot start the host is a problem. Without --extension-id, each
// extension of the browser's profiles that asks for native messaging but
// that the registration does not admit is named with the command that admits
// it (profile_extensions.h): it may be ours, or use another host. That is a
// note while the profiles run an extension the registration admits, and a
// problem when they run none (no installed extension can start the host).
// With --extension-id, an id not admitted is a problem whose fix names the
// extension when a profile runs it.
//
// doctor --fix applies the fixes that need no decision, through install and
// uninstall: a per-user registration whose files are gone that shadows a
// working system-wide one is removed; else a registration whose host is gone
// is pointed at the host --host names or the one beside this tool, or left
// as it is, with the command that registers the host again, when neither
// exists (it is the only record of the extensions it admits); origins that
// lack their final slash are written with it. A per-user fix never writes a
// manifest that a system-wide registration names. Everything else stays a
// printed fix.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "browsers.h"
#include "hello_probe.h"
#include "host_manifest.h"
#include "request.h"

namespace orvix::register_tool {

struct Problem {
  ProblemCode code;
  std::string text;
  std::string fix;
};

// One browser's registration in one scope.
struct Health {
  Target target;
  bool detected = false;
  bool registered = false;
  std::optional<std::string> manifest_path;  // the manifest checked
  std::optional<std::string> wrapper;        // Flatpak: the wrapper it names (flatpak.h)
  std::optional<std::string> host_path;      // the host it names (Flatpak: the host its wrapper starts)
  std::optional<HelloReport> hello;
  std::vector<std::string> extension_ids;  // the ids its allowed_origins admit
  std::vector<std::string> unslashed_ids;  // ids of origins that lack only their final slash
  std::optional<std::string> unread;       // why its browser does not read it, when a policy says so
  std::vector<Problem> problems;
  std::vector<std::string> notes;  // facts worth knowing that are not problems
};

// One browser as it looks for the host.
struct BrowserVerdict {
  const BrowserRow* browser = nullptr;
  bool detected = false;
  std::optional<std::size_t> uses;  // the index in DoctorReport::rows of the registration it reads
  std::vector<Problem> problems;    // why it cannot start the host from there
  std::vector<std::string> notes;
};

struct DoctorReport {
  std::vector<Health> rows;              // per browser, user scope before system scope
  std::vector<BrowserVerdict> browsers;  // those detected, named or registered, in table order
  bool any_registered = false;
  bool healthy = false;  // something is registered, and no registration nor browser has a problem
  // Where a host started from doctor's environment finds the runtime's
  // descriptor and writes its log (a browser passes its own environment on).
  // Relative paths lie below the host's folder, where the browser starts it.
  std::optional<std::string> descriptor_path;       // nothing: no ORVIX_HOME, HOME or USERPROFILE
  std::optional<std::string> log_path;              // nothing: no ORVIX_HOME or HOME, so the host keeps no log
  std::string tool;                                 // this program as fix lines name it (command_word)
  std::string folder_option;                        // " --user-data-dir DIR" when given (user_data_dir_option)
  std::vector<std::string> extension_ids;           // --extension-id, else the ids built into this program
  std::vector<std::string> known_ids;               // the ids a fix line names for no registration in particular
  std::optional<std::vector<std::string>> applied;  // --fix: each change made (or that --dry-run would make)
};

struct DoctorRequest {
  std::vector<const BrowserRow*> browsers;
  bool named = false;                      // --browser given: each one is judged, detected or not
  std::vector<std::string> extension_ids;  // --extension-id: each must be admitted
  std::optional<std::string> host;         // --host: the host fixes register (default: the one beside this program)
};

DoctorReport run_doctor(const Roots& roots, const DoctorRequest& request, const std::string& own_path);

// Adds to `report.browsers` a verdict for every browser of `request` that is
// detected, named or registered, from the rows checked, and marks the rows a
// policy keeps the browser from reading. The browser reads its per-user
// registration when there is one and policy allows user-level hosts, else the
// system one; on Windows HKCU before HKLM, each in the 32-bit view before the
// 64-bit one. It never falls back past a registration it found: a broken
// per-user one shadows a sound system one. Keys it never reads (below
// HKCU\Software\WOW6432Node) are named in a note. Reads policies (policies.h).
void judge_browsers(const Roots& roots, const DoctorRequest& request, const std::string& own_path,
                    DoctorReport& report);

// For people: one line per registration found (and per detected browser
// without one), each followed by what the host said and the problems with
// their fixes. For scripts (`json`): one compact document with every row.
void render_doctor(const DoctorReport& report, bool json, std::ostream& out);

// The fix for `problem` of the registration `row` in `report` (whose rows
// are all checked): a sentence ending in the command that fixes it
// (doctor_fix.cpp, with apply_fixes). A registration whose files are gone
// (its host; on Windows the manifest its key names) is, when per-user and
// shadowing a working system-wide one that admits its extensions, removed,
// saying what the browser then uses; else it names `replacement` (as in
// apply_fixes) unless a per-user install of it would write the manifest a
// system-wide registration names (Windows: beside the host); else it stays,
// the only record of its extensions, with the install command that names
// them and another registration's host (other_host), else a placeholder for
// the host. A command for a registration that admits no id of its own names
// the ids known_extension_ids() finds. `fix_paths` are what the fix's
// command changes: for manifest_not_yours the folder and manifest another
// user owns, which it gives back; for host_replaceable_by_users what users
// other than root may change, which it gives to root.
std::string fix_for(const ManifestProblem& problem, const Roots& roots, const DoctorReport& report, const Health& row,
                    const std::vector<std::string>& fix_paths, const std::optional<std::string>& replacement,
                    const std::string& own_path);

// The extension ids a fix line for `browser` names when the registration it
// writes admits none of its own: those --extension-id gives (or this
// program's built-in ones), else those another registration than `except`
// admits, else the one extension of the browser's profiles (any browser's,
// without one) that asks for native messaging when there is exactly one;
// else none, and the line holds a placeholder.
std::vector<std::string> known_extension_ids(const Roots& roots, const DoctorReport& report, const BrowserRow* browser,
                                             const Health* except);

// The host of another registration than `row` that a fix line for `row` may
// name when it has none of its own and --host names none: an executable
// file that a per-user install would not write a system-wide registration's
// manifest for.
std::optional<std::string> other_host(const Roots& roots, const DoctorReport& report, const Health* row);

// doctor --fix (above), with `replacement` the host that --host names or the
// one beside this tool (nothing: neither exists); install and uninstall
// check, apply and roll back. Returns one line per change made, or that
// would be made with --dry-run.
std::vector<std::string> apply_fixes(const Context& context, const CommandLine& line, const DoctorReport& report,
                                     const std::optional<std::string>& replacement);

// The doctor command: exit status 0 when healthy (after --fix), else 1.
[[nodiscard]] Result<int> doctor_command(const Context& context, const CommandLine& line, std::ostream& out);

}  // namespace orvix::register_tool
