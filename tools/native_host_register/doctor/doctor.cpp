#include "doctor.h"

#include <map>

#include "base/path.h"
#include "change/location_kind.h"
#include "discovery/product_home.h"
#include "fix_lines.h"
#include "host_manifest.h"
#include "host_program.h"
#include "machine/flatpak.h"
#include "platform/filesystem.h"
#include "support/file_owner.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

// How long doctor waits for the host's hello reply, and then for its end.
// A browser would wait longer, but a host that takes this long already fails
// the extension's first request; doctor says so rather than hang (a hello
// whose runtime accepts but never answers waits out the host's 20 s limit).
constexpr std::chrono::milliseconds kProbeLimit{5000};

// What checking one manifest found, shared by the browsers that use it.
struct ManifestHealth {
  std::optional<std::string> wrapper;  // Flatpak: the wrapper the manifest names
  std::optional<std::string> host_path;
  std::vector<std::string> extension_ids;
  std::vector<std::string> unslashed_ids;
  std::optional<HelloReport> hello;
  std::vector<ManifestProblem> problems;
  std::vector<std::string> notes;
  std::vector<std::string> not_yours;    // the folder and manifest another user owns, when that stops this one
  std::vector<std::string> replaceable;  // system-wide: what users other than root may change of the host's path
};

// A manifest in the user's own folders that another user owns (install run
// with sudo keeping HOME): the user can replace or remove it only when the
// folder is theirs, and the browser, running as the user, reads it only when
// its mode lets them. Adds the problem and returns whether there is one.
bool check_owner(const std::string& path, bool readable, ManifestHealth& health) {
  std::string text;
  const std::string folder = parent_path(path);
  for (const std::string& item : {folder, path}) {
    auto owner = support::other_owner(item);
    if (!owner || (item == path && readable && health.not_yours.empty())) continue;
    text += (text.empty() ? "" : " and ") + item + " is owned by " + *owner;
    health.not_yours.push_back(item);
  }
  if (health.not_yours.empty()) return false;
  health.problems.push_back(
      {ProblemCode::manifest_not_yours, text + ", so you cannot replace or remove the manifest" +
                                            (readable ? "." : ", and the browser, running as you, cannot read it.")});
  return true;
}

// Flatpak: the manifest names a wrapper of this tool, which names the host;
// nothing when it does not (a problem added to `health`).
std::optional<std::string> host_of_wrapper_file(const std::string& wrapper, ManifestHealth& health) {
  health.wrapper = wrapper;
  auto text = read_manifest_file(wrapper);
  auto host = text ? host_of_wrapper(*text) : std::nullopt;
  if (!host) {
    health.problems.push_back(
        platform::path_exists(wrapper)
            ? ManifestProblem{ProblemCode::wrapper_unknown,
                              "The manifest names " + wrapper + ", which is not the wrapper " + kProgramName +
                                  " writes: a Flatpak browser cannot start the host outside "
                                  "its sandbox without one."}
            : ManifestProblem{ProblemCode::wrapper_missing,
                              "The wrapper " + wrapper + " that the manifest names does not exist."});
  } else if (!support::is_executable_file(wrapper)) {
    health.problems.push_back({ProblemCode::wrapper_not_executable, "The wrapper " + wrapper + " is not executable."});
  }
  return host;
}

ManifestHealth check_manifest_file(const Roots& roots, const std::string& path, Scope scope, bool flatpak) {
  ManifestHealth health;
  auto text = read_manifest_file(path);
  const bool not_yours = scope == Scope::user && check_owner(path, text.has_value(), health);
  if (!text) {
    if (!not_yours) health.problems.push_back({ProblemCode::manifest_unreadable, text.error().text});
    return health;
  }
  const LocationKind& kind = location_kind(roots);
  ManifestCheck check = check_manifest(*text, kind.relative_host_allowed());
  health.extension_ids = check.extension_ids;
  health.unslashed_ids = check.unslashed_ids;
  health.problems.insert(health.problems.end(), check.problems.begin(), check.problems.end());
  if (!check.host_path) return health;

  const auto resolved = kind.resolve_host(path, *check.host_path);
  if (!resolved) return health;
  std::string host = *resolved;
  if (flatpak) {
    auto started = host_of_wrapper_file(host, health);
    if (!started) return health;
    host = *started;
  }
  health.host_path = host;
  if (!platform::path_exists(host)) {
    health.problems.push_back({ProblemCode::host_missing, "The host " + host + " does not exist."});
  } else if (auto unstartable = unstartable_host(host, roots)) {
    // Before the mode: chmod cannot help these.
    health.problems.push_back(std::move(*unstartable));
  } else if (!support::is_executable_file(host)) {
    health.problems.push_back({ProblemCode::host_not_executable, "The host " + host + " is not executable."});
  }
  if (scope == Scope::system) {
    if (auto replaceable = replaceable_host(host, roots, health.replaceable)) health.problems.push_back(*replaceable);
  }
  kind.check_started_host(host, health.problems, health.notes);
  if (!health.problems.empty() || check.extension_ids.empty()) return health;

  // Through the wrapper where flatpak-spawn can run it; else the host itself,
  // started as the wrapper would start it.
  std::string probed = host;
  if (flatpak) {
    const std::string spawn = support::find_on_path("flatpak-spawn");
    probed = spawn.empty() ? host : *health.wrapper;
    health.notes.push_back(spawn.empty() ? "hello was asked of the host directly: flatpak-spawn (part of the Flatpak "
                                           "sandbox) is not on this PATH, so the wrapper did not run."
                                         : "hello went through the wrapper and " + spawn + ".");
  }
  auto hello = probe_host(probed, origin_of(check.extension_ids.front()), roots.windows, kProbeLimit);
  if (hello) {
    health.hello = std::move(*hello);
  } else {
    health.problems.push_back(
        {ProblemCode::host_failed, "The host does not answer like the browser expects: " + hello.error().text});
  }
  return health;
}

// The host a registration whose host is gone may name instead: the one
// --host names, else the one beside this program; nothing when neither is an
// executable file.
std::optional<std::string> replacement_host(const Roots& roots, const DoctorRequest& request,
                                            const std::string& own_path) {
  auto host = host_to_register(roots.windows, request.host, own_path);
  if (!host || !support::is_executable_file(*host)) return std::nullopt;
  return *host;
}

// Flatpak: the wrapper's flatpak-spawn --host works only when the app may
// talk to the Flatpak service.
void check_talk_permission(const Roots& roots, const BrowserRow& browser, Health& row) {
  const TalkPermission permission = read_talk_permission(roots, browser.flatpak_app);
  const std::string name(browser.display_name);
  if (permission.granted) {
    row.notes.push_back(*permission.decided_by + " lets " + name +
                        " talk to org.freedesktop.Flatpak, as flatpak-spawn --host needs.");
    return;
  }
  row.problems.push_back(Problem{
      ProblemCode::flatpak_permission_missing,
      name + " may not start the host outside its sandbox: " +
          (permission.decided_by ? *permission.decided_by + " sets org.freedesktop.Flatpak to " + permission.value
                                 : std::string("no Flatpak permission lets it talk to org.freedesktop.Flatpak")) +
          ", which flatpak-spawn --host needs.",
      "Allow it (once): " + permission_command(browser.flatpak_app)});
}

}  // namespace

DoctorReport run_doctor(const Roots& roots, const DoctorRequest& request, const std::string& own_path) {
  DoctorReport report;
  report.tool = command_word(roots, own_path, kProgramName);
  report.folder_option = user_data_dir_option(roots);
  report.extension_ids = request.extension_ids;
  const std::optional<std::string> replacement = replacement_host(roots, request, own_path);
  std::map<std::string, ManifestHealth> checked;
  // Per row: its problems and the files another user owns, whose fixes are
  // written once every row is known (a per-user fix looks at the system row).
  std::vector<std::pair<std::vector<ManifestProblem>, std::vector<std::string>>> found_problems;
  for (const BrowserRow* browser : request.browsers) {
    for (Scope scope : {Scope::user, Scope::system}) {
      auto target = target_for(roots, *browser, scope);
      if (!target) continue;
      Health row;
      row.target = *target;
      row.detected = is_detected(roots, *browser);

      Found where = location_kind(roots).find(*target);
      row.manifest_path = where.manifest_path;
      row.registered = where.registered;
      const std::vector<ManifestProblem>& key_problems = where.problems;
      if (!row.registered) {
        report.rows.push_back(std::move(row));
        found_problems.emplace_back();
        continue;
      }
      report.any_registered = true;

      ManifestHealth found;
      if (key_problems.empty() && row.manifest_path) {
        auto cached = checked.find(*row.manifest_path);
        if (cached == checked.end()) {
          cached = checked
                       .emplace(*row.manifest_path,
                                check_manifest_file(roots, *row.manifest_path, scope, !browser->flatpak_app.empty()))
                       .first;
        }
        found = cached->second;
      }
      found.problems.insert(found.problems.begin(), key_problems.begin(), key_problems.end());
      row.wrapper = found.wrapper;
      row.host_path = found.host_path;
      row.hello = found.hello;
      row.notes = found.notes;
      row.extension_ids = found.extension_ids;
      row.unslashed_ids = found.unslashed_ids;
      for (const auto& problem : found.problems) row.problems.push_back(Problem{problem.code, problem.text, ""});
      // Only a per-user manifest is another user's; only a system-wide
      // host matters to other users: one of the two is empty.
      found.not_yours.insert(found.not_yours.end(), found.replaceable.begin(), found.replaceable.end());
      found_problems.emplace_back(std::move(found.problems), std::move(found.not_yours));
      if (!browser->flatpak_app.empty()) check_talk_permission(roots, *browser, row);
      report.rows.push_back(std::move(row));
    }
  }
  for (std::size_t i = 0; i < report.rows.size(); ++i) {
    const auto& [problems, not_yours] = found_problems[i];
    for (std::size_t k = 0; k < problems.size(); ++k) {
      report.rows[i].problems[k].fix =
          fix_for(problems[k], roots, report, report.rows[i], not_yours, replacement, own_path);
    }
  }
  if (auto descriptor = discovery::resolve_descriptor_path()) report.descriptor_path = std::move(*descriptor);
  report.log_path = discovery::resolve_log_path();
  judge_browsers(roots, request, own_path, report);
  report.known_ids = known_extension_ids(roots, report, nullptr, nullptr);
  report.healthy = report.any_registered;
  for (const auto& row : report.rows) {
    if (row.registered && !row.problems.empty()) report.healthy = false;
  }
  for (const auto& verdict : report.browsers) {
    if (!verdict.problems.empty()) report.healthy = false;
  }
  return report;
}

Result<int> doctor_command(const Context& context, const CommandLine& line, std::ostream& out) {
  auto browsers = select_browsers(context.roots, line.browsers, WhenNoneNamed::every_known);
  if (!browsers) return browsers.error();
  auto ids = extension_ids(line.extension_ids);
  if (!ids) return ids.error();
  // The browser started with --user-data-dir is judged even when its own folder is not there.
  const DoctorRequest request{*browsers, !line.browsers.empty() || !context.roots.user_data_dir.empty(), *ids,
                              line.host};
  DoctorReport report = run_doctor(context.roots, request, context.own_path);
  if (line.fix) {
    auto applied = apply_fixes(context, line, report, replacement_host(context.roots, request, context.own_path));
    if (!applied.empty() && !line.dry_run) report = run_doctor(context.roots, request, context.own_path);
    report.applied = std::move(applied);
  }
  render_doctor(report, line.json, out);
  return report.healthy ? 0 : 1;
}

}  // namespace orvix::register_tool
