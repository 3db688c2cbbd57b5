// The manifest-file kind of location (location_kind.h): Linux and macOS.
#include <algorithm>

#include "base/path.h"
#include "location_kind.h"
#include "machine/flatpak.h"
#include "platform/filesystem.h"
#include "support/folders.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

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
             current == text && support::is_executable_file(path));
  const std::string_view app = location.target.browser->flatpak_app;
  if (!read_talk_permission(roots, app).granted) plan.permissions.push_back(permission_command(app));
  return {};
}

// Whether `folder` is a folder (not a link to one) that holds nothing but `entries`.
bool holds_only(const std::string& folder, const std::vector<std::string>& entries) {
  if (!support::is_real_folder(folder)) return false;
  auto names = support::folder_entries(folder);
  return names && std::all_of(names->begin(), names->end(), [&](const std::string& name) {
           return std::any_of(entries.begin(), entries.end(),
                              [&](const std::string& entry) { return support::file_name(entry) == name; });
         });
}

// Adds the removal of the folders that removing `removed` (files of one
// folder: a manifest, and a Flatpak browser's wrapper) leaves empty: their
// own, and in system scope the browser's folder above it.
void plan_emptied_folders(Plan& plan, std::vector<std::string> removed, const Location& location) {
  for (int levels = location.target.scope == Scope::system ? 2 : 1; levels > 0; --levels) {
    std::string folder = parent_path(removed.front());
    if (!holds_only(folder, removed)) return;
    plan.steps.push_back(Step{.path = folder,
                              .previous = "",
                              .browsers = location.browsers,
                              .scope = location.target.scope,
                              .container = true});
    removed = {std::move(folder)};
  }
}

class ManifestFiles final : public LocationKind {
 public:
  Result<void> check_host(const std::string&, Plan&) const override { return {}; }

  Result<void> plan_install(const InstallRequest& request, Plan& plan) const override {
    for (const Location& location : request.locations) {
      std::string named = request.host;
      plan.files.push_back(location.target.manifest_path);
      note_removed_temporaries(plan, request.removed, location.target.manifest_path, location);
      if (!location.target.browser->flatpak_app.empty()) {
        named = wrapper_path(location.target.manifest_path);
        plan.files.push_back(named);
        note_removed_temporaries(plan, request.removed, named, location);
        if (auto planned = plan_wrapper(plan, request.context.roots, location, request.host, request.line.force);
            !planned) {
          return planned.error();
        }
      }
      auto planned =
          plan_manifest(plan, location.target.manifest_path, request.host, named, request.ids, request.line, location);
      if (!planned) return planned.error();
    }
    return {};
  }

  Result<void> plan_uninstall(const UninstallRequest& request, Plan& plan) const override {
    for (const Location& location : request.locations) {
      const std::string& path = location.target.manifest_path;
      const std::string wrapper = wrapper_path(path);
      const bool flatpak = !location.target.browser->flatpak_app.empty();
      // The temporaries of killed runs were the only other entries of the
      // folder, which now goes like one that this removal empties.
      std::vector<std::string> removed_here;
      for (const std::string& file :
           flatpak ? std::vector<std::string>{path, wrapper} : std::vector<std::string>{path}) {
        plan.files.push_back(file);
        note_removed_temporaries(plan, request.removed, file, location);
        for (const auto& temporary : request.removed) {
          if (temporary.rfind(file + ".tmp-", 0) == 0) removed_here.push_back(temporary);
        }
      }
      if (platform::path_exists(path)) {
        auto planned =
            plan_removal(plan, path, location.browsers, request.scope, request.scope == Scope::system, request.host);
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
                                    .scope = request.scope});
          removed_here.push_back(wrapper);
        }
      }
      if (!removed_here.empty()) plan_emptied_folders(plan, removed_here, location);
    }
    return {};
  }

  // A folder of the user's that root made unsearchable (install run with
  // sudo and a strict umask) hides the manifest from the user and the
  // browser alike, and takes no new one: it counts as a registration, which
  // doctor names with the chown that mends it.
  Found find(const Target& target) const override {
    if (!platform::path_exists(target.manifest_path) &&
        !(target.scope == Scope::user && support::access_refused(target.manifest_path))) {
      return {};
    }
    return Found{true, target.manifest_path, {}};
  }

  // Each browser's manifest lies in its own folder.
  std::optional<std::string> manifest_of_host(const std::string&) const override { return std::nullopt; }

  // The browser refuses a relative host path, and starts the host itself.
  bool relative_host_allowed() const override { return false; }

  std::optional<std::string> resolve_host(const std::string&, const std::string& named) const override {
    if (!support::is_absolute_path(named)) return std::nullopt;
    return named;
  }

  std::optional<std::string> unread_registration(const BrowserRow&) const override { return std::nullopt; }

  void check_started_host(const std::string&, std::vector<ManifestProblem>&, std::vector<std::string>&) const override {
  }
};

}  // namespace

const LocationKind& manifest_file_kind() {
  static const ManifestFiles kind;
  return kind;
}

}  // namespace orvix::register_tool
