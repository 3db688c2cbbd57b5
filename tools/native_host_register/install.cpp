#include "install.h"

#include <ostream>

#include "flatpak.h"
#include "host_manifest.h"
#include "platform/filesystem.h"
#include "platform/path.h"
#include "registration_plan.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

// The refusal to replace `what`, a file or key that is not this host's
// registration, which only --force overrides.
Failure needs_force(const std::string& what) {
  return Failure{Failure::Kind::kInvalidInput, what + "; use --force to replace it."};
}

// Adds the write of the manifest at `path` naming `named` (the host, or the
// wrapper that starts it), or notes it unchanged. A manifest there may be
// replaced when it names `named` or `host`, or --force says so; the ids it
// admits stay admitted unless --replace-ids.
Result<void> plan_manifest(Plan& plan, const std::string& path, const std::string& host, const std::string& named,
                           const std::vector<std::string>& ids, const CommandLine& line, const Location& location) {
  const bool force = line.force;
  std::vector<std::string> admitted;
  std::optional<std::string> current;
  // --force replaces even a manifest that cannot be read (a pipe, a file over
  // the limit), as doctor's fix for one says.
  auto content = read_manifest_file(path);
  if (platform::path_exists(path) && (content || !force)) {
    if (!content) return content.error();
    const ManifestCheck check = check_manifest(*content, true);
    if (!force && !check.host_path) return needs_force(path + " exists but names no host");
    if (!force && *check.host_path != named && *check.host_path != host) {
      return needs_force(path + " names another host (" + *check.host_path + ")");
    }
    if (!line.replace_ids) admitted = check.extension_ids;
    current = std::move(*content);
  }
  admitted.insert(admitted.end(), ids.begin(), ids.end());  // all well formed: checked or from check_manifest
  const std::string text = manifest_text(named, *extension_ids(admitted));
  const Scope scope = location.target.scope;
  plan_write(plan,
             Step{.path = path,
                  .value = text,
                  .previous = current,
                  .shared = scope == Scope::system,
                  .browsers = location.browsers,
                  .scope = scope},
             current == text);
  return {};
}

// Flatpak: adds the write of the wrapper that starts `host` beside the
// location's manifest (before the manifest, which names it), or notes it
// unchanged; and the permission command when the app lacks it. A file there
// that is no wrapper of this tool, or one that starts another host, is
// replaced only with --force.
Result<void> plan_wrapper(Plan& plan, const Roots& roots, const Location& location, const std::string& host,
                          bool force) {
  const std::string path = wrapper_path(location.target.manifest_path);
  const std::string text = wrapper_text(host);
  std::optional<std::string> current;
  if (platform::path_exists(path)) {
    auto content = read_manifest_file(path);
    if (!content) return content.error();
    const auto started = host_of_wrapper(*content);
    if (!force && !started) return needs_force(path + " exists but was not written by " + kProgramName);
    if (!force && *started != host) return needs_force(path + " starts another host (" + *started + ")");
    current = std::move(*content);
  }
  plan_write(plan,
             Step{.path = path,
                  .value = text,
                  .previous = current,
                  .executable = true,
                  .browsers = location.browsers,
                  .scope = location.target.scope},
             current == text && platform::is_executable_file(path));
  const std::string_view app = location.target.browser->flatpak_app;
  if (!read_talk_permission(roots, app).granted) plan.permissions.push_back(permission_command(app));
  return {};
}

// Windows: sets the location's key to name `manifest` in each view the browsers read.
Result<void> plan_keys(Plan& plan, const Location& location, const std::string& manifest, bool force) {
  const RegistryLocation& key = *location.target.registry;
  for (platform::RegistryView view : views_of(key.hive)) {
    auto current = read_registration(key, view);
    if (!current) return current.error();
    if (*current && *current != manifest && !force) {
      return needs_force(registry_display(key, view) + " names another manifest (" + **current + ")");
    }
    plan_write(plan,
               Step{.key = key,
                    .view = view,
                    .value = manifest,
                    .previous = *current,
                    .browsers = location.browsers,
                    .scope = location.target.scope},
               *current == manifest);
  }
  return {};
}

// The browsers an install registers, chosen at its first planning and kept:
// the folders it then makes would make more browsers look installed.
using BrowserChoice = std::optional<Result<std::vector<const BrowserRow*>>>;

Result<Plan> plan_install(const Context& context, const CommandLine& line, BrowserChoice& chosen,
                          const std::vector<std::string>& removed) {
  auto ids = extension_ids(line.extension_ids);
  if (!ids) return ids.error();
  auto host = host_to_register(context.roots.windows, line.host, context.own_path);
  if (!host) return host.error();
  if (!platform::path_exists(*host)) {
    return Failure{Failure::Kind::kInvalidInput,
                   "The host " + *host + " does not exist" + (line.host ? "." : "; name it with --host PATH.")};
  }
  if (!platform::is_executable_file(*host)) {
    return Failure{Failure::Kind::kInvalidInput, "The host " + *host + " is not an executable file."};
  }
  Plan plan;
  if (context.roots.windows) {
    if (auto problem = cmd_exe_problem(*host)) {
      return Failure{Failure::Kind::kInvalidInput,
                     problem->text + " Move it to a folder whose path holds at most one %; nothing was changed."};
    }
    if (auto warning = cmd_exe_warning(*host)) plan.warnings.push_back(std::move(*warning));
  }
  if (!chosen) {
    chosen =
        select_browsers(context.roots, line.browsers, line.system ? WhenNoneNamed::installed : WhenNoneNamed::detected);
  }
  const auto& rows = *chosen;
  if (!rows) return rows.error();
  auto locations = locations_of(context.roots, *rows, line.system ? Scope::system : Scope::user, false);
  if (!locations) return locations.error();

  if (!context.roots.windows) {
    for (const Location& location : *locations) {
      std::string named = *host;
      plan.files.push_back(location.target.manifest_path);
      note_removed_temporaries(plan, removed, location.target.manifest_path, location);
      if (!location.target.browser->flatpak_app.empty()) {
        named = wrapper_path(location.target.manifest_path);
        plan.files.push_back(named);
        note_removed_temporaries(plan, removed, named, location);
        if (auto planned = plan_wrapper(plan, context.roots, location, *host, line.force); !planned) {
          return planned.error();
        }
      }
      auto planned = plan_manifest(plan, location.target.manifest_path, *host, named, *ids, line, location);
      if (!planned) return planned.error();
    }
    return plan;
  }
  // Windows: one manifest beside the host, which every browser's key names.
  Location every{locations->front().target, {}};
  for (const Location& location : *locations) {
    every.browsers.insert(every.browsers.end(), location.browsers.begin(), location.browsers.end());
  }
  const std::string manifest = platform::join_path(platform::parent_path(*host), std::string(kHostName) + ".json");
  plan.files.push_back(manifest);
  note_removed_temporaries(plan, removed, manifest, every);
  if (auto planned = plan_manifest(plan, manifest, *host, *host, *ids, line, every); !planned) {
    return planned.error();
  }
  for (const Location& location : *locations) {
    if (auto planned = plan_keys(plan, location, manifest, line.force); !planned) return planned.error();
  }
  return plan;
}

}  // namespace

Result<int> install_command(const Context& context, const CommandLine& line, std::ostream& out) {
  BrowserChoice chosen;
  return plan_and_apply([&](const auto& removed) { return plan_install(context, line, chosen, removed); },
                        /*make_folders=*/true, line, out);
}

Result<int> print_command(const Context& context, const CommandLine& line, std::ostream& out) {
  auto ids = extension_ids(line.extension_ids);
  if (!ids) return ids.error();
  auto host = host_to_register(context.roots.windows, line.host, context.own_path);
  if (!host) return host.error();
  if (line.browsers.empty()) {
    out << manifest_text(*host, *ids);
    return 0;
  }
  auto rows = select_browsers(context.roots, line.browsers, WhenNoneNamed::every_known);
  if (!rows) return rows.error();
  if (rows->size() != 1) {
    return Failure{Failure::Kind::kInvalidInput, "print shows what one browser reads; name one with --browser."};
  }
  auto target = target_for(context.roots, *rows->front(), Scope::user);
  if (!target || rows->front()->flatpak_app.empty()) {
    out << manifest_text(*host, *ids);
    return 0;
  }
  // A Flatpak browser reads a manifest that names the wrapper beside it.
  const std::string wrapper = wrapper_path(target->manifest_path);
  out << manifest_text(wrapper, *ids) << "\n# " << wrapper << " (mode 0755), beside it:\n" << wrapper_text(*host);
  return 0;
}

}  // namespace orvix::register_tool
