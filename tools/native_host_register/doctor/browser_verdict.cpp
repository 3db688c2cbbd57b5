#include "doctor.h"

#include <algorithm>

#include "change/location_kind.h"
#include "fix_lines.h"
#include "host_manifest.h"
#include "machine/policies.h"
#include "machine/profile_extensions.h"
#include "support/program_path.h"
#include "text_table.h"

namespace orvix::register_tool {

namespace {

// Whether two registrations would behave differently: other extensions, or another host.
bool differs(const Health& a, const Health& b) {
  auto ids_a = a.extension_ids;
  auto ids_b = b.extension_ids;
  std::sort(ids_a.begin(), ids_a.end());
  std::sort(ids_b.begin(), ids_b.end());
  return ids_a != ids_b || a.host_path != b.host_path;
}

std::string described(const Health& row) {
  return row.target.where() + " (admits " + (row.extension_ids.empty() ? "no extension" : joined(row.extension_ids)) +
         "; host " + row.host_path.value_or("unknown") + ")";
}

// A registration whose ids and host a fix for another browser can reuse.
const Health* example(const DoctorReport& report) {
  for (const Health& row : report.rows) {
    if (row.registered && row.host_path && !row.extension_ids.empty()) return &row;
  }
  return nullptr;
}

// The problem of a browser that reads no registration.
Problem no_registration(const Roots& roots, const DoctorRequest& request, const std::string& own_path,
                        const DoctorReport& report, const BrowserVerdict& verdict, const Health* unread_user,
                        bool has_system) {
  const BrowserRow& browser = *verdict.browser;
  const std::string name(browser.display_name);
  if (unread_user != nullptr) {
    const auto& host = unread_user->host_path;
    const std::string install = install_command_line(
        roots, browser, Scope::system,
        unread_user->extension_ids.empty() ? known_extension_ids(roots, report, &browser, unread_user)
                                           : unread_user->extension_ids,
        host && support::is_executable_file(*host) ? host : other_host(roots, report, unread_user), own_path);
    return Problem{ProblemCode::user_level_hosts_disabled,
                   *unread_user->unread + " It finds no system-wide registration, so it cannot start the host.",
                   has_system ? "Ask the administrator to allow user-level native hosts, or register for every user: " +
                                    as_admin(roots, install)
                              : "Ask the administrator to allow user-level native hosts (" + name +
                                    " has no system-wide location)."};
  }
  const Health* sample = example(report);
  const std::vector<std::string> ids = request.extension_ids.empty() && sample != nullptr
                                           ? sample->extension_ids
                                           : known_extension_ids(roots, report, &browser, nullptr);
  return Problem{ProblemCode::not_registered,
                 name + (verdict.detected ? " is installed but" : "") + " finds no registration of " + kHostName + ".",
                 "Register it: " + install_command_line(roots, browser, Scope::user, ids,
                                                        sample ? sample->host_path : other_host(roots, report, nullptr),
                                                        own_path)};
}

// The command that adds `id` to the registration `used`, as it must be run.
// install keeps the ids already there, and a manifest it cannot read or that
// names another host (here: a broken one) only when forced.
std::string admitting(const Roots& roots, const Health& used, const std::string& id, const std::string& own_path) {
  const std::string install =
      install_command_line(roots, *used.target.browser, used.target.scope, {id}, used.host_path, own_path) +
      (used.problems.empty() ? "" : " --force");
  return used.target.scope == Scope::system ? as_admin(roots, install) : install;
}

// "the profiles \"Default\", \"Profile 2\"".
std::string in_profiles(const ProfileExtension& extension) {
  std::string names;
  for (const auto& profile : extension.profiles) names += (names.empty() ? "\"" : ", \"") + profile + "\"";
  return "the profile" + std::string(extension.profiles.size() > 1 ? "s " : " ") + names;
}

// "<id> (\"<name>\")", or the id alone when it has no plain name.
std::string labelled(const ProfileExtension& extension) {
  return extension.id + (extension.name.empty() ? "" : " (\"" + extension.name + "\")");
}

bool admits(const Health& used, const std::string& id) {
  return std::find(used.extension_ids.begin(), used.extension_ids.end(), id) != used.extension_ids.end();
}

// Without --extension-id doctor cannot tell which extension is ours, but the
// browser's profiles say which ones ask for native messaging: one the
// registration does not admit is named, as it may well be ours (the browser
// refuses it the host), though it may as well use another host.
void name_unadmitted(const Roots& roots, const Health& used, const std::vector<ProfileExtension>& candidates,
                     const std::string& own_path, BrowserVerdict& verdict) {
  for (const ProfileExtension& extension : candidates) {
    verdict.notes.push_back(
        "The extension " + labelled(extension) + " in " + in_profiles(extension) + " asks for native messaging, but " +
        used.target.where() + " does not admit it. If it is the extension that uses " + kHostName +
        ", add it (install keeps the ids already there): " + admitting(roots, used, extension.id, own_path));
  }
}

// When the profiles run none of the extensions the registration admits but
// some that ask for native messaging (`candidates`), no installed extension
// can start the host, and the browser refuses the one that tries. Which
// candidate is ours only the user knows (a password manager asks for native
// messaging too), so each is named with the command that admits it.
Problem nothing_admitted_runs(const Roots& roots, const Health& used, const std::vector<ProfileExtension>& candidates,
                              const std::string& own_path, const BrowserVerdict& verdict) {
  const std::string name(verdict.browser->display_name);
  std::string found;
  for (const auto& extension : candidates) {
    found += (found.empty() ? "" : "; ") + labelled(extension) + " in " + in_profiles(extension);
  }
  std::string text = "No profile of " + name + " runs an extension that " + used.target.where() + " admits (" +
                     (used.extension_ids.empty() ? "none" : joined(used.extension_ids)) +
                     "), so no installed extension can start the host. These installed extensions ask for native "
                     "messaging: " +
                     found + ".";
  const std::string compare =
      "compare the ids with chrome://extensions, Developer mode on, as another program's extension may ask for native "
      "messaging too";
  if (candidates.size() == 1) {
    return Problem{ProblemCode::no_admitted_extension_installed, std::move(text),
                   "If " + labelled(candidates.front()) + " is the extension that uses " + kHostName + " (" + compare +
                       "), add it (install keeps the ids already there): " +
                       admitting(roots, used, candidates.front().id, own_path)};
  }
  std::string fix =
      "Add the one that uses " + std::string(kHostName) + " (" + compare + "; install keeps the ids already there)";
  for (const auto& extension : candidates) {
    fix += "; for " + labelled(extension) + ": " + admitting(roots, used, extension.id, own_path);
  }
  return Problem{ProblemCode::no_admitted_extension_installed, std::move(text), fix};
}

// What the browser's profiles say about the extensions of `used`: a problem
// when they run none that it admits but one that would use it, else notes.
void judge_extensions(const Roots& roots, const DoctorRequest& request, const DoctorReport& report,
                      const Health& registration, const std::string& own_path, BrowserVerdict& verdict) {
  // The commands name the registration's host; when it is gone, the one
  // beside this program, else another registration's that exists.
  Health used = registration;
  const auto runs = [](const std::optional<std::string>& host) { return host && support::is_executable_file(*host); };
  if (!runs(used.host_path) && !runs(default_host_path(roots.windows, own_path))) {
    used.host_path = other_host(roots, report, &registration);
  }
  const auto folder = user_data_folder(roots, *verdict.browser);
  const Profiles profiles = folder ? read_profiles(*folder) : Profiles{};
  const auto& ids = request.extension_ids;
  std::vector<ProfileExtension> candidates;
  bool admitted_runs = false;
  for (const ProfileExtension& extension : profiles.extensions) {
    admitted_runs |= admits(used, extension.id);
    const bool asked = std::find(ids.begin(), ids.end(), extension.id) != ids.end();
    if (!admits(used, extension.id) && (ids.empty() ? extension.native_messaging : asked)) {
      candidates.push_back(extension);
    }
  }
  for (const auto& id : ids) {
    if (admits(used, id)) continue;
    auto installed = std::find_if(candidates.begin(), candidates.end(),
                                  [&](const ProfileExtension& extension) { return extension.id == id; });
    verdict.problems.push_back(
        Problem{ProblemCode::extension_not_admitted,
                used.target.where() + " does not admit the extension " + id + "; it admits " +
                    (used.extension_ids.empty() ? "none" : joined(used.extension_ids)) + ".",
                "Add " +
                    (installed == candidates.end()
                         ? std::string("it")
                         : "the extension " + labelled(*installed) + " that " + in_profiles(*installed) + " runs") +
                    " (install keeps the ids already there): " + admitting(roots, used, id, own_path)});
  }
  // With the ids given, the problems above already name each one not admitted.
  if (!ids.empty()) return;
  if (profiles.read && !admitted_runs && !candidates.empty()) {
    verdict.problems.push_back(nothing_admitted_runs(roots, used, candidates, own_path, verdict));
  } else {
    name_unadmitted(roots, used, candidates, own_path, verdict);
  }
}

}  // namespace

void judge_browsers(const Roots& roots, const DoctorRequest& request, const std::string& own_path,
                    DoctorReport& report) {
  for (const BrowserRow* browser : request.browsers) {
    std::optional<std::size_t> user;
    std::optional<std::size_t> system;
    for (std::size_t i = 0; i < report.rows.size(); ++i) {
      if (report.rows[i].target.browser == browser) (report.rows[i].target.scope == Scope::user ? user : system) = i;
    }
    auto registered = [&](std::optional<std::size_t> i) { return i && report.rows[*i].registered; };
    BrowserVerdict verdict{browser, is_detected(roots, *browser), std::nullopt, {}, {}};
    const bool judged = verdict.detected || request.named;
    if (auto note = location_kind(roots).unread_registration(*browser)) verdict.notes.push_back(*note);
    if (!judged && !registered(user) && !registered(system) && verdict.notes.empty()) continue;
    if (auto note = user_data_dir_note(roots, *browser)) verdict.notes.push_back(*note);
    if (auto moved = moved_user_folder(roots, *browser)) {
      const std::string name(browser->display_name);
      verdict.notes.push_back(moved->variable + " moves " + name + "'s folder to " +
                              user_data_folder(roots, *browser).value_or("") + "; a " + name +
                              " started without it (as from the desktop) reads " + moved->desktop_folder +
                              "/NativeMessagingHosts" + " instead.");
    }

    const PolicyVerdict policies = read_policies(roots, *browser, kHostName);
    verdict.notes.insert(verdict.notes.end(), policies.notes.begin(), policies.notes.end());
    const auto& disabled_by = policies.user_level_hosts_off;
    if (registered(user) && disabled_by) {
      report.rows[*user].unread = *disabled_by + " sets NativeMessagingUserLevelHosts to false, so " +
                                  std::string(browser->display_name) + " reads no per-user registration.";
    }
    if (policies.blocked) {
      verdict.problems.push_back(
          Problem{ProblemCode::host_blocked,
                  std::string(browser->display_name) + " may not start the host: " + *policies.blocked,
                  "Ask the administrator to add " + std::string(kHostName) +
                      " to NativeMessagingAllowlist; no registration can lift a policy block."});
    }
    verdict.uses = registered(user) && !disabled_by ? user : registered(system) ? system : std::nullopt;
    if (!verdict.uses) {
      if (judged) {
        verdict.problems.push_back(no_registration(roots, request, own_path, report, verdict,
                                                   registered(user) ? &report.rows[*user] : nullptr,
                                                   system.has_value()));
      }
      report.browsers.push_back(std::move(verdict));
      continue;
    }

    const Health& used = report.rows[*verdict.uses];
    if (verdict.uses == user && registered(system) && differs(used, report.rows[*system])) {
      verdict.notes.push_back("The per-user registration shadows the system-wide one at " +
                              described(report.rows[*system]) + ", which differs; the browser reads only " +
                              described(used) + ".");
    }
    judge_extensions(roots, request, report, used, own_path, verdict);
    report.browsers.push_back(std::move(verdict));
  }
}

}  // namespace orvix::register_tool
