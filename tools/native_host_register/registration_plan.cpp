#include "registration_plan.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <set>

#include "flatpak.h"
#include "host_manifest.h"
#include "json/serialize.h"
#include "json/value.h"
#include "platform/filesystem.h"
#include "platform/path.h"
#include "support/file_replace.h"
#include "support/program_path.h"
#include "text_table.h"

namespace orvix::register_tool {

namespace {

using platform::RegistryHive;
using platform::RegistryView;

// One line of a command's report.
struct Change {
  std::string action;                 // "wrote", "would write", "unchanged", "removed", "set", ...
  std::string where;                  // the file, or the key and its view
  std::vector<std::string> browsers;  // the browsers it serves
  Scope scope = Scope::user;
};

struct Outcome {
  std::vector<Change> changes;
  std::optional<std::string> failure;  // one sentence; the command failed and changed nothing
  std::vector<std::string> warnings;
  std::vector<std::string> permissions;  // commands the user still has to run once (Flatpak)
};

// One file or registry value to set to `value`, or to remove when `value` is nothing.
struct Step {
  std::string path{};                     // the file; empty for a registry value
  std::optional<RegistryLocation> key{};  // the registry value: the key's default value in `view`
  RegistryView view = RegistryView::bits64;
  std::optional<std::string> value{};
  std::optional<std::string> previous{};  // what was there before (nothing: no file, no value)
  bool shared = false;                    // a file readable by every user (system scope)
  bool executable = false;                // a script every user may run (a Flatpak wrapper)
  std::vector<std::string> browsers{};    // the browsers it serves, for the report
  Scope scope = Scope::user;
  bool container = false;  // the folder or key that held a registration, removed as it is left empty
};

struct Plan {
  std::vector<Step> steps;
  std::vector<Change> unchanged;  // report lines about what stays as it was
  std::vector<std::string> warnings;
  std::vector<std::string> permissions;
};

// Makes the file or registry value hold `value`; nothing: removes the file or deletes the key.
Result<void, platform::OsError> set(const Step& step, const std::optional<std::string>& value) {
  // A removed container comes back as what it held is put back, next in the undo.
  if (step.container && value) return {};
  if (step.container && !step.key) {
    std::error_code error;
    std::filesystem::remove(step.path, error);
    if (error) return platform::os_error_from_code(error.value());
    return {};
  }
  if (step.key) {
    if (value) return platform::write_default_value(step.key->hive, step.view, step.key->key, *value);
    auto deleted = platform::delete_key(step.key->hive, step.view, step.key->key);
    if (!deleted) return deleted.error();
    return {};
  }
  if (!value) return platform::remove_file(step.path);
  platform::create_directories(platform::parent_path(step.path));
  if (step.executable) return platform::replace_executable_file(step.path, *value);
  return step.shared ? platform::replace_shared_file(step.path, *value) : platform::replace_file(step.path, *value);
}

// Applies every step in order (or only reports them, as "would ...", when
// `dry_run`). On failure, puts back what the applied steps changed, newest
// first; best effort, as the failure is reported anyway.
Outcome apply(const Plan& plan, bool dry_run) {
  Outcome outcome{plan.unchanged, std::nullopt, plan.warnings, plan.permissions};
  for (std::size_t applied = 0; applied < plan.steps.size(); ++applied) {
    const Step& step = plan.steps[applied];
    const char* action =
        step.key ? (step.value ? (dry_run ? "would set" : "set") : (dry_run ? "would delete" : "deleted"))
                 : (step.value ? (dry_run ? "would write" : "wrote") : (dry_run ? "would remove" : "removed"));
    std::string where = step.key ? registry_display(*step.key, step.view) : step.path;
    if (step.key && step.value) where += " = " + *step.value;
    if (auto done = dry_run ? Result<void, platform::OsError>() : set(step, step.value); !done) {
      while (applied > 0) {
        const Step& undone = plan.steps[--applied];
        (void)set(undone, undone.previous);
      }
      return Outcome{plan.unchanged,
                     "Cannot change " + where + ": " + done.error().text + ". Nothing was changed.",
                     plan.warnings,
                     {}};
    }
    outcome.changes.push_back(Change{action, where, step.browsers, step.scope});
  }
  return outcome;
}

// The locations of `rows` in `scope`, each once with the browsers it serves.
// A browser without one is refused, or left out when `skip_missing`.
Result<std::vector<Location>> locations_of(const Roots& roots, const std::vector<const BrowserRow*>& rows, Scope scope,
                                           bool skip_missing) {
  std::vector<Target> targets;
  for (const BrowserRow* row : rows) {
    auto target = target_for(roots, *row, scope);
    if (target) {
      targets.push_back(std::move(*target));
    } else if (!skip_missing) {
      return Failure{Failure::Kind::kInvalidInput, std::string(row->display_name) + " has no documented " +
                                                       scope_name(scope) +
                                                       "-wide location on this system; nothing was changed."};
    }
  }
  return by_location(targets);
}

// The host to register, made absolute: --host, or the host beside this program.
Result<std::string> absolute_host(const Context& context, const CommandLine& line) {
  const std::string given = line.host ? *line.host : default_host_path(context.roots.windows, context.own_path);
  auto absolute = platform::absolute_path(given);
  if (!absolute) {
    return Failure{Failure::Kind::kSystem,
                   "Cannot make the host path " + given + " absolute: " + absolute.error().text + "."};
  }
  return std::move(*absolute);
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
    if (!force && !check.host_path) {
      return Failure{Failure::Kind::kInvalidInput, path + " exists but names no host; use --force to replace it."};
    }
    if (!force && *check.host_path != named && *check.host_path != host) {
      return Failure{Failure::Kind::kInvalidInput,
                     path + " names another host (" + *check.host_path + "); use --force to replace it."};
    }
    if (!line.replace_ids) admitted = check.extension_ids;
    current = std::move(*content);
  }
  admitted.insert(admitted.end(), ids.begin(), ids.end());  // all well formed: checked or from check_manifest
  const std::string text = manifest_text(named, *extension_ids(admitted));
  const Scope scope = location.target.scope;
  if (current == text) {
    plan.unchanged.push_back(Change{"unchanged", path, location.browsers, scope});
  } else {
    plan.steps.push_back(Step{.path = path,
                              .value = text,
                              .previous = current,
                              .shared = scope == Scope::system,
                              .browsers = location.browsers,
                              .scope = scope});
  }
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
    if (!force && !started) {
      return Failure{Failure::Kind::kInvalidInput,
                     path + " exists but was not written by " + kProgramName + "; use --force to replace it."};
    }
    if (!force && *started != host) {
      return Failure{Failure::Kind::kInvalidInput,
                     path + " starts another host (" + *started + "); use --force to replace it."};
    }
    current = std::move(*content);
  }
  const Scope scope = location.target.scope;
  if (current == text && platform::is_executable_file(path)) {
    plan.unchanged.push_back(Change{"unchanged", path, location.browsers, scope});
  } else {
    plan.steps.push_back(Step{.path = path,
                              .value = text,
                              .previous = current,
                              .executable = true,
                              .browsers = location.browsers,
                              .scope = scope});
  }
  const std::string_view app = location.target.browser->flatpak_app;
  if (!read_talk_permission(roots, app).granted) plan.permissions.push_back(permission_command(app));
  return {};
}

// Whether the manifest `content` at `path` names `host`, or no host was given
// to match. A Flatpak browser's manifest names the wrapper beside it, which
// starts the host.
bool names_host(const std::string& path, const std::string& content, const std::optional<std::string>& host) {
  if (!host) return true;
  const auto named = check_manifest(content, true).host_path;
  if (named != wrapper_path(path)) return named == *host;
  auto wrapper = read_manifest_file(*named);
  return wrapper && host_of_wrapper(*wrapper) == *host;
}

// Adds the removal of the manifest at `path`, keeping its content to put back
// on failure; when it does not name `host`, reports it left instead. Returns
// whether it goes.
Result<bool> plan_removal(Plan& plan, const std::string& path, std::vector<std::string> browsers, Scope scope,
                          bool shared, const std::optional<std::string>& host) {
  auto content = read_manifest_file(path);
  if (!content) return content.error();
  if (!names_host(path, *content, host)) {
    plan.unchanged.push_back(Change{"left", path, std::move(browsers), scope});
    return false;
  }
  plan.steps.push_back(Step{.path = path,
                            .previous = std::move(*content),
                            .shared = shared,
                            .browsers = std::move(browsers),
                            .scope = scope});
  return true;
}

// Whether `folder` is a folder (not a link to one) that holds nothing but `entries`.
bool holds_only(const std::string& folder, const std::vector<std::string>& entries) {
  std::error_code error;
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(folder, error))) return false;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const auto name = it->path().filename();
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const std::string& entry) { return std::filesystem::path(entry).filename() == name; })) {
      return false;
    }
  }
  return !error;
}

// Adds the removal of the folders that removing `removed` (files of one
// folder: a manifest, and a Flatpak browser's wrapper) leaves empty: their
// own, and in system scope the browser's folder above it.
void plan_emptied_folders(Plan& plan, std::vector<std::string> removed, const Location& location) {
  for (int levels = location.target.scope == Scope::system ? 2 : 1; levels > 0; --levels) {
    std::string folder = platform::parent_path(removed.front());
    if (!holds_only(folder, removed)) return;
    plan.steps.push_back(Step{.path = folder,
                              .previous = "",
                              .browsers = location.browsers,
                              .scope = location.target.scope,
                              .container = true});
    removed = {std::move(folder)};
  }
}

// Windows: sets the location's key to name `manifest` in each view the browsers read.
Result<void> plan_keys(Plan& plan, const Location& location, const std::string& manifest, bool force) {
  const RegistryLocation& key = *location.target.registry;
  for (RegistryView view : views_of(key.hive)) {
    auto current = read_registration(key, view);
    if (!current) return current.error();
    const std::string display = registry_display(key, view);
    if (*current == manifest) {
      plan.unchanged.push_back(Change{"unchanged", display, location.browsers, location.target.scope});
    } else if (*current && !force) {
      return Failure{Failure::Kind::kInvalidInput,
                     display + " names another manifest (" + **current + "); use --force to replace it."};
    } else {
      plan.steps.push_back(Step{.key = key,
                                .view = view,
                                .value = manifest,
                                .previous = *current,
                                .browsers = location.browsers,
                                .scope = location.target.scope});
    }
  }
  return {};
}

Result<Plan> plan_install(const Context& context, const CommandLine& line) {
  auto ids = extension_ids(line.extension_ids);
  if (!ids) return ids.error();
  auto host = absolute_host(context, line);
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
  auto rows =
      select_browsers(context.roots, line.browsers, line.system ? WhenNoneNamed::installed : WhenNoneNamed::detected);
  if (!rows) return rows.error();
  auto locations = locations_of(context.roots, *rows, line.system ? Scope::system : Scope::user, false);
  if (!locations) return locations.error();

  if (!context.roots.windows) {
    for (const Location& location : *locations) {
      std::string named = *host;
      if (!location.target.browser->flatpak_app.empty()) {
        named = wrapper_path(location.target.manifest_path);
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
  if (auto planned = plan_manifest(plan, manifest, *host, *host, *ids, line, every); !planned) {
    return planned.error();
  }
  for (const Location& location : *locations) {
    if (auto planned = plan_keys(plan, location, manifest, line.force); !planned) return planned.error();
  }
  return plan;
}

// Whether a registry value of any known browser in either scope names
// `manifest`, apart from the keys in `leaving`.
bool still_named(const Roots& roots, const std::string& manifest, const std::set<std::string>& leaving) {
  for (const BrowserRow& row : known_browsers()) {
    for (Scope scope : {Scope::user, Scope::system}) {
      auto target = target_for(roots, row, scope);
      if (!target || !target->registry) continue;
      const RegistryLocation& key = *target->registry;
      for (RegistryView view : views_of(key.hive)) {
        if (leaving.contains(registry_display(key, view))) continue;
        auto value = platform::read_default_value(key.hive, view, key.key);
        if (value && *value == manifest) return true;
      }
    }
  }
  return false;
}

Result<Plan> plan_uninstall(const Context& context, const CommandLine& line) {
  auto rows = select_browsers(context.roots, line.browsers, WhenNoneNamed::every_known);
  if (!rows) return rows.error();
  const Scope scope = line.system ? Scope::system : Scope::user;
  auto locations = locations_of(context.roots, *rows, scope, line.browsers.empty());
  if (!locations) return locations.error();
  std::optional<std::string> host;
  if (line.host) {
    auto absolute = absolute_host(context, line);
    if (!absolute) return absolute.error();
    host = std::move(*absolute);
  }

  Plan plan;
  if (!context.roots.windows) {
    for (const Location& location : *locations) {
      const std::string& path = location.target.manifest_path;
      std::vector<std::string> removed;
      if (platform::path_exists(path)) {
        auto planned = plan_removal(plan, path, location.browsers, scope, scope == Scope::system, host);
        if (!planned) return planned.error();
        if (!*planned) continue;  // it names another host: its wrapper stays too
        removed.push_back(path);
      }
      // A Flatpak manifest's wrapper goes after it, so no manifest is left naming a missing wrapper.
      const std::string wrapper = wrapper_path(path);
      if (!location.target.browser->flatpak_app.empty() && platform::path_exists(wrapper)) {
        auto content = read_manifest_file(wrapper);
        if (!content) return content.error();
        if (!host_of_wrapper(*content)) {
          plan.warnings.push_back(wrapper + " was not written by " + kProgramName + "; it stays.");
        } else {
          plan.steps.push_back(Step{.path = wrapper,
                                    .previous = std::move(*content),
                                    .executable = true,
                                    .browsers = location.browsers,
                                    .scope = scope});
          removed.push_back(wrapper);
        }
      }
      if (!removed.empty()) plan_emptied_folders(plan, removed, location);
    }
    return plan;
  }
  // Windows: every key that names a manifest goes, in each view; the manifest
  // beside the host goes once no key names it any more.
  std::vector<std::string> manifests;
  std::set<std::string> leaving;
  for (const Location& location : *locations) {
    const RegistryLocation& key = *location.target.registry;
    for (RegistryView view : views_of(key.hive)) {
      auto value = read_registration(key, view);
      if (!value) return value.error();
      if (!*value) continue;
      if (host) {
        auto content = read_manifest_file(**value);
        if (!content || !names_host(**value, *content, host)) {
          plan.unchanged.push_back(Change{"left", registry_display(key, view), location.browsers, scope});
          continue;
        }
      }
      leaving.insert(registry_display(key, view));
      if (std::find(manifests.begin(), manifests.end(), **value) == manifests.end()) manifests.push_back(**value);
      plan.steps.push_back(
          Step{.key = key, .view = view, .previous = *value, .browsers = location.browsers, .scope = scope});
      // The NativeMessagingHosts key goes too when this key is all it holds
      // (best effort: one that cannot be read stays).
      const RegistryLocation folder{key.hive, key.key.substr(0, key.key.rfind('\\'))};
      if (auto entries = platform::count_entries(folder.hive, view, folder.key); entries && *entries == 1) {
        plan.steps.push_back(Step{.key = folder,
                                  .view = view,
                                  .previous = "",
                                  .browsers = location.browsers,
                                  .scope = scope,
                                  .container = true});
      }
    }
  }
  for (const auto& manifest : manifests) {
    if (still_named(context.roots, manifest, leaving) || !platform::path_exists(manifest)) continue;
    if (auto planned = plan_removal(plan, manifest, {}, scope, false, std::nullopt); !planned) {
      return planned.error();
    }
  }
  return plan;
}

// Prints the outcome's report; a failure goes into the JSON document, or back
// to the caller for its own stream.
Result<int> report(const Outcome& outcome, bool json, std::ostream& out) {
  if (json) {
    json::Array changes;
    for (const auto& change : outcome.changes) {
      json::Object entry;
      entry["action"] = change.action;
      entry["where"] = change.where;
      entry["browsers"] = json::Array(change.browsers.begin(), change.browsers.end());
      entry["scope"] = scope_name(change.scope);
      changes.emplace_back(std::move(entry));
    }
    json::Object document;
    document["changes"] = std::move(changes);
    document["ok"] = !outcome.failure.has_value();
    if (!outcome.warnings.empty()) document["warnings"] = json::Array(outcome.warnings.begin(), outcome.warnings.end());
    if (!outcome.permissions.empty()) {
      document["flatpak_permissions"] = json::Array(outcome.permissions.begin(), outcome.permissions.end());
    }
    if (outcome.failure) document["error"] = *outcome.failure;
    out << json::to_compact_string(document) << "\n";
    return outcome.failure ? 1 : 0;
  }
  TextTable table;
  for (const auto& change : outcome.changes) {
    table.add({change.action, change.where,
               change.browsers.empty() ? "" : joined(change.browsers) + " (" + scope_name(change.scope) + ")"});
  }
  table.print(out);
  for (const auto& warning : outcome.warnings) out << "warning: " << warning << "\n";
  if (outcome.failure) return Failure{Failure::Kind::kSystem, *outcome.failure};
  for (const auto& command : outcome.permissions) {
    out << "Run once, so the Flatpak browser may start the host outside its sandbox: " << command << "\n";
  }
  if (outcome.changes.empty()) out << "Nothing to do: no registration found.\n";
  return 0;
}

Result<int> apply_and_report(const Result<Plan>& planned, const CommandLine& line, std::ostream& out) {
  return report(planned ? apply(*planned, line.dry_run) : Outcome{{}, planned.error().text, {}, {}}, line.json, out);
}

}  // namespace

Result<int> install_command(const Context& context, const CommandLine& line, std::ostream& out) {
  return apply_and_report(plan_install(context, line), line, out);
}

Result<int> uninstall_command(const Context& context, const CommandLine& line, std::ostream& out) {
  return apply_and_report(plan_uninstall(context, line), line, out);
}

Result<int> print_command(const Context& context, const CommandLine& line, std::ostream& out) {
  auto ids = extension_ids(line.extension_ids);
  if (!ids) return ids.error();
  auto host = absolute_host(context, line);
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
