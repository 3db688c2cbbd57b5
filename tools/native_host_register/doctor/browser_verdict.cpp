#include "doctor.h"

#include <algorithm>

#include "change/location_kind.h"
#include "fix_lines.h"
#include "host_manifest.h"
#include "machine/policies.h"
#include "machine/profile_extensions.h"
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
    const std::string install = install_command_line(roots, browser, Scope::system, unread_user->extension_ids,
                                                     unread_user->host_path, own_path);
    return Problem{ProblemCode::user_level_hosts_disabled,
                   *unread_user->unread + " It finds no system-wide registration, so it cannot start the host.",
                   has_system ? "Ask the administrator to allow user-level native hosts, or register for every user: " +
                                    as_admin(roots, install)
                              : "Ask the administrator to allow user-level native hosts (" + name +
                                    " has no system-wide location)."};
  }
  const Health* sample = example(report);
  const std::vector<std::string>& ids =
      !request.extension_ids.empty() || sample == nullptr ? request.extension_ids : sample->extension_ids;
  return Problem{ProblemCode::not_registered,
                 name + (verdict.detected ? " is installed but" : "") + " finds no registration of " + kHostName + ".",
                 "Register it: " + install_command_line(roots, browser, Scope::user, ids,
                                                        sample ? sample->host_path : std::nullopt, own_path)};
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

// Without --extension-id doctor cannot tell which extension is ours, but the
// browser's profiles say which ones ask for native messaging: one the
// registration does not admit is named, as it may well be ours (the browser
// refuses it the host), though it may as well use another host.
void name_unadmitted(const Roots& roots, const Health& used, const std::string& own_path, BrowserVerdict& verdict) {
  const auto folder = user_data_folder(roots, *verdict.browser);
  if (!folder) return;
  for (const ProfileExtension& extension : native_messaging_extensions(*folder)) {
    const auto& ids = used.extension_ids;
    if (std::find(ids.begin(), ids.end(), extension.id) != ids.end()) continue;
    std::string profiles;
    for (const auto& profile : extension.profiles) profiles += (profiles.empty() ? "\"" : ", \"") + profile + "\"";
    verdict.notes.push_back(
        "The extension " + extension.id + (extension.name.empty() ? "" : " (\"" + extension.name + "\")") +
        " in the profile" + (extension.profiles.size() > 1 ? "s " : " ") + profiles +
        " asks for native messaging, but " + used.target.where() +
        " does not admit it. If it is the extension that uses " + kHostName +
        ", add it (install keeps the ids already there): " + admitting(roots, used, extension.id, own_path));
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
    if (request.extension_ids.empty()) name_unadmitted(roots, used, own_path, verdict);
    for (const auto& id : request.extension_ids) {
      if (std::find(used.extension_ids.begin(), used.extension_ids.end(), id) != used.extension_ids.end()) continue;
      verdict.problems.push_back(
          Problem{ProblemCode::extension_not_admitted,
                  used.target.where() + " does not admit the extension " + id + "; it admits " +
                      (used.extension_ids.empty() ? "none" : joined(used.extension_ids)) + ".",
                  "Add it (install keeps the ids already there): " + admitting(roots, used, id, own_path)});
    }
    report.browsers.push_back(std::move(verdict));
  }
}

}  // namespace orvix::register_tool
