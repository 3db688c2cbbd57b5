#include "location_kind.h"

#include "machine/flatpak.h"
#include "platform/filesystem.h"

namespace orvix::register_tool {

const LocationKind& location_kind(const Roots& roots) {
  return roots.windows ? registry_key_kind() : manifest_file_kind();
}

Failure needs_force(const std::string& what) {
  return Failure{Failure::Kind::kInvalidInput, what + "; use --force to replace it."};
}

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

bool names_host(const std::string& path, const std::string& content, const std::optional<std::string>& host) {
  if (!host) return true;
  const auto named = check_manifest(content, true).host_path;
  if (named != wrapper_path(path)) return named == *host;
  auto wrapper = read_manifest_file(*named);
  return wrapper && host_of_wrapper(*wrapper) == *host;
}

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

}  // namespace orvix::register_tool
