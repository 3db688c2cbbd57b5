#include <algorithm>
#include <set>

#include "browser_selection.h"
#include "manifest_file.h"
#include "support/program_path.h"
#include "registration_commands.h"

namespace orvix::register_tool {

namespace {

using platform::RegistryHive;
using platform::RegistryView;

struct KeyInView {
  RegistryHive hive;
  RegistryView view;
  std::string key;
  auto operator<=>(const KeyInView&) const = default;
};

std::vector<RegistryView> views_of(RegistryHive hive) {
  if (hive == RegistryHive::local_machine) return {RegistryView::bits64, RegistryView::bits32};
  return {RegistryView::bits64};
}

// Every registry value of any known browser in either scope that names
// `manifest`, except those in `leaving`.
bool still_referenced(const Roots& roots, const std::string& manifest, const std::set<KeyInView>& leaving) {
  for (const BrowserRow& row : known_browsers()) {
    for (Scope scope : {Scope::user, Scope::system}) {
      auto target = target_for(roots, row, scope);
      if (!target || !target->registry) continue;
      for (RegistryView view : views_of(target->registry->hive)) {
        KeyInView key{target->registry->hive, view, target->registry->key};
        if (leaving.contains(key)) continue;
        auto value = platform::read_default_value(key.hive, key.view, key.key);
        if (value && *value && **value == manifest) return true;
      }
    }
  }
  return false;
}

Checked<void> plan_windows(const Roots& roots, const std::vector<Target>& targets,
                                                      const std::vector<std::vector<std::string>>& browsers,
                                                      ChangeSet& changes) {
  std::set<KeyInView> leaving;
  std::vector<std::string> manifests;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const RegistryLocation& location = *targets[i].registry;
    for (RegistryView view : views_of(location.hive)) {
      auto value = platform::read_default_value(location.hive, view, location.key);
      if (!value) {
        return Refusal{"Cannot read " + registry_display(location.hive, view, location.key) + ": " +
                       value.error().text + "."};
      }
      if (!*value) continue;
      leaving.insert(KeyInView{location.hive, view, location.key});
      if (std::find(manifests.begin(), manifests.end(), **value) == manifests.end()) manifests.push_back(**value);
      changes.add(RegistryStep{location.hive, view, location.key, std::nullopt, *value}, browsers[i],
                  targets[i].scope);
    }
  }
  // The manifest beside the host goes once no key names it any more.
  for (const auto& manifest : manifests) {
    if (still_referenced(roots, manifest, leaving) || !platform::path_exists(manifest)) continue;
    auto content = read_manifest_file(manifest);
    if (!content) return content.error();
    changes.add(FileStep{manifest, std::nullopt, *content, false}, {}, targets.front().scope);
  }
  return {};
}

}  // namespace

Outcome uninstall(const Roots& roots, const CommandLine& line) {
  auto rows = select_browsers(roots, line.browsers, WhenNoneNamed::every_known);
  if (!rows) return Outcome{{}, rows.error().text};
  const Scope scope = line.system ? Scope::system : Scope::user;

  // Distinct locations with the browsers they serve.
  std::vector<Target> targets;
  std::vector<std::vector<std::string>> browsers;
  for (const BrowserRow* row : *rows) {
    auto target = target_for(roots, *row, scope);
    if (!target) {
      if (line.browsers.empty()) continue;
      return Outcome{{}, std::string(row->display_name) + " has no documented " + scope_name(scope) +
                             "-wide location on this system; nothing was changed."};
    }
    auto same = std::find_if(targets.begin(), targets.end(),
                             [&](const Target& t) { return t.where() == target->where(); });
    if (same != targets.end()) {
      browsers[static_cast<std::size_t>(same - targets.begin())].emplace_back(row->name);
      continue;
    }
    targets.push_back(*target);
    browsers.push_back({std::string(row->name)});
  }

  ChangeSet changes;
  if (roots.windows) {
    if (auto planned = plan_windows(roots, targets, browsers, changes); !planned) return Outcome{{}, planned.error().text};
    return changes.apply(line.dry_run);
  }
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const std::string& path = targets[i].manifest_path;
    if (!platform::path_exists(path)) continue;
    auto content = read_manifest_file(path);
    if (!content) return Outcome{{}, content.error().text};
    changes.add(FileStep{path, std::nullopt, *content, scope == Scope::system}, browsers[i], scope);
  }
  return changes.apply(line.dry_run);
}

}  // namespace orvix::register_tool
