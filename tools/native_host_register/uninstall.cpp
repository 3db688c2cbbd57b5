#include "uninstall.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "flatpak.h"
#include "host_manifest.h"
#include "platform/filesystem.h"
#include "platform/path.h"
#include "registration_plan.h"

namespace orvix::register_tool {

namespace {

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

// Whether a registry value of any known browser in either scope names
// `manifest`, apart from the keys in `leaving`.
bool still_named(const Roots& roots, const std::string& manifest, const std::set<std::string>& leaving) {
  for (const BrowserRow& row : known_browsers()) {
    for (Scope scope : {Scope::user, Scope::system}) {
      auto target = target_for(roots, row, scope);
      if (!target || !target->registry) continue;
      const RegistryLocation& key = *target->registry;
      for (platform::RegistryView view : views_of(key.hive)) {
        if (leaving.contains(registry_display(key, view))) continue;
        auto value = platform::read_default_value(key.hive, view, key.key);
        if (value && *value == manifest) return true;
      }
    }
  }
  return false;
}

Result<Plan> plan_uninstall(const Context& context, const CommandLine& line, const std::vector<std::string>& removed) {
  auto rows = select_browsers(context.roots, line.browsers, WhenNoneNamed::every_known);
  if (!rows) return rows.error();
  const Scope scope = line.system ? Scope::system : Scope::user;
  auto locations = locations_of(context.roots, *rows, scope, line.browsers.empty());
  if (!locations) return locations.error();
  std::optional<std::string> host;
  if (line.host) {
    auto absolute = host_to_register(context.roots.windows, line.host, context.own_path);
    if (!absolute) return absolute.error();
    host = std::move(*absolute);
  }

  Plan plan;
  if (!context.roots.windows) {
    for (const Location& location : *locations) {
      const std::string& path = location.target.manifest_path;
      const std::string wrapper = wrapper_path(path);
      const bool flatpak = !location.target.browser->flatpak_app.empty();
      // The temporaries of killed runs were the only other entries of the
      // folder, which now goes like one that this removal empties.
      std::vector<std::string> removed_here;
      for (const std::string& file :
           flatpak ? std::vector<std::string>{path, wrapper} : std::vector<std::string>{path}) {
        plan.files.push_back(file);
        note_removed_temporaries(plan, removed, file, location);
        for (const auto& temporary : removed) {
          if (temporary.rfind(file + ".tmp-", 0) == 0) removed_here.push_back(temporary);
        }
      }
      if (platform::path_exists(path)) {
        auto planned = plan_removal(plan, path, location.browsers, scope, scope == Scope::system, host);
        if (!planned) return planned.error();
        if (!*planned) continue;  // it names another host: its wrapper stays too
        removed_here.push_back(path);
      }
      // A Flatpak manifest's wrapper goes after it, so no manifest is left naming a missing wrapper.
      if (flatpak && platform::path_exists(wrapper)) {
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
          removed_here.push_back(wrapper);
        }
      }
      if (!removed_here.empty()) plan_emptied_folders(plan, removed_here, location);
    }
    return plan;
  }
  // Windows: every key that names a manifest goes, in each view; the manifest
  // beside the host goes once no key names it any more.
  std::vector<std::string> manifests;
  std::set<std::string> leaving;
  for (const Location& location : *locations) {
    const RegistryLocation& key = *location.target.registry;
    for (platform::RegistryView view : views_of(key.hive)) {
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
      if (std::find(manifests.begin(), manifests.end(), **value) == manifests.end()) {
        manifests.push_back(**value);
        plan.files.push_back(**value);
        note_removed_temporaries(plan, removed, **value, location);
      }
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

}  // namespace

Result<int> uninstall_command(const Context& context, const CommandLine& line, std::ostream& out) {
  return plan_and_apply([&](const auto& removed) { return plan_uninstall(context, line, removed); },
                        /*make_folders=*/false, line, out);
}

}  // namespace orvix::register_tool
