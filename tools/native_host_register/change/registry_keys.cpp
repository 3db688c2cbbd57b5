// The registry-key kind of location (location_kind.h): Windows.
#include <algorithm>
#include <set>

#include "base/path.h"
#include "location_kind.h"
#include "platform/filesystem.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

// Windows: sets the location's key to name `manifest` in each view the browsers read.
Result<void> plan_keys(Plan& plan, const Location& location, const std::string& manifest, bool force) {
  const RegistryLocation& key = *location.target.registry;
  for (support::RegistryView view : views_of(key.hive)) {
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

// Whether a registry value of any known browser in either scope names
// `manifest`, apart from the keys in `leaving`.
bool still_named(const Roots& roots, const std::string& manifest, const std::set<std::string>& leaving) {
  for (const BrowserRow& row : known_browsers()) {
    for (Scope scope : {Scope::user, Scope::system}) {
      auto target = target_for(roots, row, scope);
      if (!target || !target->registry) continue;
      const RegistryLocation& key = *target->registry;
      for (support::RegistryView view : views_of(key.hive)) {
        if (leaving.contains(registry_display(key, view))) continue;
        auto value = support::read_default_value(key.hive, view, key.key);
        if (value && *value == manifest) return true;
      }
    }
  }
  return false;
}

// The manifest a Windows registration names, or the problem with the key.
// The browser reads the 32-bit view first and takes the first value it
// finds, which must be an absolute path.
std::optional<std::string> manifest_of_key(const RegistryLocation& key, std::vector<ManifestProblem>& problems) {
  std::vector<support::RegistryView> views = views_of(key.hive);
  std::reverse(views.begin(), views.end());
  for (support::RegistryView view : views) {
    auto value = read_registration(key, view);
    if (!value) {
      problems.push_back({ProblemCode::registry_unreadable, value.error().text});
      return std::nullopt;
    }
    if (*value && !support::is_absolute_path(**value)) {
      problems.push_back(
          {ProblemCode::registry_manifest_relative,
           registry_display(key, view) + " names the manifest " + **value + ", which is not an absolute path."});
      return std::nullopt;
    }
    if (*value) return **value;
  }
  return std::nullopt;
}

class RegistryKeys final : public LocationKind {
 public:
  // The browser starts the host through cmd.exe (host_manifest.h).
  Result<void> check_host(const std::string& host, Plan& plan) const override {
    if (auto problem = cmd_exe_problem(host)) {
      return Failure{Failure::Kind::kInvalidInput,
                     problem->text + " Move it to a folder whose path holds at most one %; nothing was changed."};
    }
    if (auto warning = cmd_exe_warning(host)) plan.warnings.push_back(std::move(*warning));
    return {};
  }

  Result<void> plan_install(const InstallRequest& request, Plan& plan) const override {
    // One manifest beside the host, which every browser's key names.
    Location every{request.locations.front().target, {}};
    for (const Location& location : request.locations) {
      every.browsers.insert(every.browsers.end(), location.browsers.begin(), location.browsers.end());
    }
    const std::string manifest = *manifest_of_host(request.host);
    plan.files.push_back(manifest);
    note_removed_temporaries(plan, request.removed, manifest, every);
    if (auto planned = plan_manifest(plan, manifest, request.host, request.host, request.ids, request.line, every);
        !planned) {
      return planned.error();
    }
    for (const Location& location : request.locations) {
      if (auto planned = plan_keys(plan, location, manifest, request.line.force); !planned) return planned.error();
    }
    return {};
  }

  Result<void> plan_uninstall(const UninstallRequest& request, Plan& plan) const override {
    // Every key that names a manifest goes, in each view; the manifest
    // beside the host goes once no key names it any more.
    std::vector<std::string> manifests;
    std::set<std::string> leaving;
    for (const Location& location : request.locations) {
      const RegistryLocation& key = *location.target.registry;
      for (support::RegistryView view : views_of(key.hive)) {
        auto value = read_registration(key, view);
        if (!value) return value.error();
        if (!*value) continue;
        if (request.host) {
          auto content = read_manifest_file(**value);
          if (!content || !names_host(**value, *content, request.host)) {
            plan.unchanged.push_back(Change{"left", registry_display(key, view), location.browsers, request.scope});
            continue;
          }
        }
        leaving.insert(registry_display(key, view));
        if (std::find(manifests.begin(), manifests.end(), **value) == manifests.end()) {
          manifests.push_back(**value);
          plan.files.push_back(**value);
          note_removed_temporaries(plan, request.removed, **value, location);
        }
        plan.steps.push_back(
            Step{.key = key, .view = view, .previous = *value, .browsers = location.browsers, .scope = request.scope});
        // The NativeMessagingHosts key goes too when this key is all it holds
        // (best effort: one that cannot be read stays).
        const RegistryLocation folder{key.hive, key.key.substr(0, key.key.rfind('\\'))};
        if (auto entries = support::count_entries(folder.hive, view, folder.key); entries && *entries == 1) {
          plan.steps.push_back(Step{.key = folder,
                                    .view = view,
                                    .previous = "",
                                    .browsers = location.browsers,
                                    .scope = request.scope,
                                    .container = true});
        }
      }
    }
    for (const auto& manifest : manifests) {
      if (still_named(request.context.roots, manifest, leaving) || !platform::path_exists(manifest)) continue;
      if (auto planned = plan_removal(plan, manifest, {}, request.scope, false, std::nullopt); !planned) {
        return planned.error();
      }
    }
    return {};
  }

  Found find(const Target& target) const override {
    Found found;
    found.manifest_path = manifest_of_key(*target.registry, found.problems);
    found.registered = found.manifest_path.has_value() || !found.problems.empty();
    if (found.manifest_path && !platform::path_exists(*found.manifest_path)) {
      found.problems.push_back({ProblemCode::registry_manifest_missing,
                                "The registry names the manifest " + *found.manifest_path + ", which does not exist."});
    }
    return found;
  }

  // One manifest beside the host serves every browser and scope.
  std::optional<std::string> manifest_of_host(const std::string& host) const override {
    return join_path(parent_path(host), std::string(kHostName) + ".json");
  }

  // The browser resolves a relative host path against the manifest's
  // folder, and starts the host through cmd.exe (host_manifest.h).
  bool relative_host_allowed() const override { return true; }

  std::optional<std::string> resolve_host(const std::string& manifest_path, const std::string& named) const override {
    if (support::is_absolute_path(named)) return named;
    return join_path(parent_path(manifest_path), named);
  }

  // A per-user key below WOW6432Node (written by a 32-bit installer that
  // took HKLM's layout for HKCU's), which no browser reads.
  std::optional<std::string> unread_registration(const BrowserRow& browser) const override {
    if (browser.windows_key.empty()) return std::nullopt;
    const RegistryLocation key{support::RegistryHive::current_user,
                               hosts_key("WOW6432Node\\" + std::string(browser.windows_key))};
    auto value = read_registration(key, support::RegistryView::bits64);
    if (!value || !*value) return std::nullopt;
    return registry_display(key) + " names " + **value +
           ", but the browser never reads that key: per-user registrations live in HKCU\\Software\\" +
           std::string(browser.windows_key) + "\\NativeMessagingHosts.";
  }

  void check_started_host(const std::string& host, std::vector<ManifestProblem>& problems,
                          std::vector<std::string>& notes) const override {
    if (auto problem = cmd_exe_problem(host)) problems.push_back(std::move(*problem));
    if (auto warning = cmd_exe_warning(host)) notes.push_back(std::move(*warning));
  }
};

}  // namespace

const LocationKind& registry_key_kind() {
  static const RegistryKeys kind;
  return kind;
}

}  // namespace orvix::register_tool
