#include <algorithm>

#include "browser_selection.h"
#include "host_manifest.h"
#include "manifest_file.h"
#include "platform/path.h"
#include "support/program_path.h"
#include "registration_commands.h"

namespace orvix::register_tool {

namespace {

using platform::RegistryHive;
using platform::RegistryView;

Checked<std::vector<std::string>> checked_ids(const std::vector<std::string>& given) {
  std::vector<std::string> ids;
  for (const auto& id : given) {
    if (!is_extension_id(id)) {
      return Refusal{"Extension id \"" + id + "\" is not 32 letters from a to p (chrome://extensions shows the id)."};
    }
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
  return ids;
}

Checked<std::string> checked_host(const Roots& roots, const CommandLine& line,
                                                             const std::string& own_path) {
  const std::string given = line.host ? *line.host : default_host_path(roots, own_path);
  auto absolute = platform::absolute_path(given);
  if (!absolute) return Refusal{"Cannot make the host path " + given + " absolute: " + absolute.error().text + "."};
  if (!platform::path_exists(*absolute)) {
    return Refusal{"The host " + *absolute + " does not exist" +
                   (line.host ? std::string(".") : std::string("; name it with --host PATH."))};
  }
  if (!platform::is_executable_file(*absolute)) return Refusal{"The host " + *absolute + " is not an executable file."};
  return {boost::system::in_place_value, *absolute};
}

// The manifest at `path` may be replaced when it is missing, or names the
// same host, or --force says so. Returns what is there now.
Checked<std::optional<std::string>> replaceable(const std::string& path,
                                                                          const std::string& host, bool force) {
  if (!platform::path_exists(path)) return std::optional<std::string>();
  auto current = read_manifest_file(path);
  if (!current) return current.error();
  if (force) return std::optional<std::string>(*current);
  ManifestCheck check = check_manifest(*current, true);
  if (!check.host_path) {
    return Refusal{path + " exists but names no host; use --force to replace it."};
  }
  if (*check.host_path != host) {
    return Refusal{path + " names another host (" + *check.host_path + "); use --force to replace it."};
  }
  return std::optional<std::string>(*current);
}

// The browsers of each distinct location, in table order.
struct Planned {
  Target target;
  std::vector<std::string> browsers;
};

Checked<std::vector<Planned>> plan_targets(const Roots& roots,
                                                                      const std::vector<const BrowserRow*>& rows,
                                                                      Scope scope) {
  std::vector<Planned> planned;
  for (const BrowserRow* row : rows) {
    auto target = target_for(roots, *row, scope);
    if (!target) {
      return Refusal{std::string(row->display_name) + " has no documented " + scope_name(scope) +
                     "-wide location on this system; nothing was changed."};
    }
    auto same = std::find_if(planned.begin(), planned.end(),
                             [&](const Planned& p) { return p.target.where() == target->where(); });
    if (same != planned.end()) {
      same->browsers.emplace_back(row->name);
    } else {
      planned.push_back(Planned{*target, {std::string(row->name)}});
    }
  }
  return planned;
}

std::vector<std::string> all_browsers_of(const std::vector<Planned>& planned) {
  std::vector<std::string> names;
  for (const auto& p : planned) names.insert(names.end(), p.browsers.begin(), p.browsers.end());
  return names;
}

// Adds the manifest write for `path`, or notes it unchanged.
Checked<void> plan_manifest(ChangeSet& changes, const std::string& path,
                                                       const std::string& host, const std::string& text,
                                                       const CommandLine& line, std::vector<std::string> browsers,
                                                       Scope scope) {
  auto current = replaceable(path, host, line.force);
  if (!current) return current.error();
  if (*current == text) {
    changes.note(Change{"unchanged", path, std::move(browsers), scope});
    return {};
  }
  changes.add(FileStep{path, text, *current, scope == Scope::system}, std::move(browsers), scope);
  return {};
}

// Windows: the key's default value in each view the browsers read. HKCU
// keeps one Software tree for both views; HKLM has two.
Checked<void> plan_registry(ChangeSet& changes, const Planned& planned,
                                                       const std::string& manifest, bool force) {
  const RegistryLocation& location = *planned.target.registry;
  std::vector<RegistryView> views{RegistryView::bits64};
  if (location.hive == RegistryHive::local_machine) views.push_back(RegistryView::bits32);
  for (RegistryView view : views) {
    auto current = platform::read_default_value(location.hive, view, location.key);
    const std::string display = registry_display(location.hive, view, location.key);
    if (!current) return Refusal{"Cannot read " + display + ": " + current.error().text + "."};
    if (*current && **current != manifest && !force) {
      return Refusal{display + " names another manifest (" + **current + "); use --force to replace it."};
    }
    if (*current == manifest) {
      changes.note(Change{"unchanged", display, planned.browsers, planned.target.scope});
      continue;
    }
    changes.add(RegistryStep{location.hive, view, location.key, manifest, *current}, planned.browsers,
                planned.target.scope);
  }
  return {};
}

}  // namespace

std::string default_host_path(const Roots& roots, const std::string& own_path) {
  return platform::join_path(platform::parent_path(own_path),
                             roots.windows ? "orvix-chrome-native-host.exe" : "orvix-chrome-native-host");
}

std::string windows_manifest_path(const std::string& host_path) {
  return platform::join_path(platform::parent_path(host_path), std::string(kHostName) + ".json");
}

Outcome install(const Roots& roots, const CommandLine& line, const std::string& own_path) {
  auto ids = checked_ids(line.extension_ids);
  if (!ids) return Outcome{{}, ids.error().text};
  auto host = checked_host(roots, line, own_path);
  if (!host) return Outcome{{}, host.error().text};
  auto rows = select_browsers(roots, line.browsers, WhenNoneNamed::detected);
  if (!rows) return Outcome{{}, rows.error().text};
  const Scope scope = line.system ? Scope::system : Scope::user;
  auto planned = plan_targets(roots, *rows, scope);
  if (!planned) return Outcome{{}, planned.error().text};

  const std::string text = manifest_text(*host, *ids);
  ChangeSet changes;
  if (roots.windows) {
    const std::string manifest = windows_manifest_path(*host);
    if (auto file = plan_manifest(changes, manifest, *host, text, line, all_browsers_of(*planned), scope); !file) {
      return Outcome{{}, file.error().text};
    }
    for (const Planned& p : *planned) {
      if (auto key = plan_registry(changes, p, manifest, line.force); !key) return Outcome{{}, key.error().text};
    }
  } else {
    for (const Planned& p : *planned) {
      auto file = plan_manifest(changes, p.target.manifest_path, *host, text, line, p.browsers, scope);
      if (!file) return Outcome{{}, file.error().text};
    }
  }
  return changes.apply(line.dry_run);
}

}  // namespace orvix::register_tool
