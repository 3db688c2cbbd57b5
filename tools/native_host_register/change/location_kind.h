// How this system keeps registrations, chosen once (location_kind()), so
// that install, uninstall and doctor never ask which system they run on:
//   manifest files   Linux and macOS: a manifest in each browser's folder;
//                    a Flatpak browser's manifest names a wrapper beside it
//                    (flatpak.h), written before it and removed after it
//   registry keys    Windows: one manifest beside the host, which the key of
//                    each browser (HKCU, or both views of HKLM) names
// Each kind says where a browser's registration is found and with what
// problems (doctor), plans its write (install) and plans its removal
// (uninstall), as steps of a Plan (registration_plan.h), changing nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "browsers.h"
#include "host_manifest.h"
#include "registration_plan.h"
#include "request.h"

namespace orvix::register_tool {

// What install asks a kind to register: `host` (absolute, an executable
// file) admitting `ids` at `locations` (one scope); `removed` as for Planner.
struct InstallRequest {
  const Context& context;
  const CommandLine& line;
  const std::vector<Location>& locations;
  const std::string& host;
  const std::vector<std::string>& ids;
  const std::vector<std::string>& removed;
};

// What uninstall asks a kind to remove: the registrations at `locations`
// (one scope), only those naming `host` when it is given.
struct UninstallRequest {
  const Context& context;
  const std::vector<Location>& locations;
  Scope scope;
  const std::optional<std::string>& host;
  const std::vector<std::string>& removed;
};

// Where doctor found a registration.
struct Found {
  bool registered = false;
  std::optional<std::string> manifest_path;  // the manifest the browser reads
  std::vector<ManifestProblem> problems;     // with what names the manifest (a registry key)
};

class LocationKind {
 public:
  virtual ~LocationKind() = default;

  // install: refuses `host` when the browser could not start it from this
  // kind of registration, or adds a warning to `plan`.
  [[nodiscard]] virtual Result<void> check_host(const std::string& host, Plan& plan) const = 0;

  // install: adds the writes (or notes them unchanged); fails, before
  // anything changes, on what may not be replaced without --force.
  [[nodiscard]] virtual Result<void> plan_install(const InstallRequest& request, Plan& plan) const = 0;

  // uninstall: adds the removals, and of what they leave empty.
  [[nodiscard]] virtual Result<void> plan_uninstall(const UninstallRequest& request, Plan& plan) const = 0;

  // doctor: whether `target` holds a registration, and the manifest it names.
  virtual Found find(const Target& target) const = 0;

  // The manifest that an install of `host` writes whatever the browser and
  // scope, when there is one such (a manifest beside the host); else nothing.
  virtual std::optional<std::string> manifest_of_host(const std::string& host) const = 0;

  // doctor: whether the browser takes a relative host path in a manifest,
  // which it resolves against the manifest's folder (resolve_host()).
  virtual bool relative_host_allowed() const = 0;

  // doctor: the host that `named` (a manifest's path member) at
  // `manifest_path` names as the browser resolves it; nothing when the
  // browser refuses it (a problem check_manifest() names).
  virtual std::optional<std::string> resolve_host(const std::string& manifest_path, const std::string& named) const = 0;

  // doctor: a registration of `browser` that the browser never reads, for
  // a note; nothing when there is none.
  virtual std::optional<std::string> unread_registration(const BrowserRow& browser) const = 0;

  // doctor: the problems and notes of starting `host` the way the browser
  // starts it from this kind of registration.
  virtual void check_started_host(const std::string& host, std::vector<ManifestProblem>& problems,
                                  std::vector<std::string>& notes) const = 0;
};

const LocationKind& manifest_file_kind();
const LocationKind& registry_key_kind();

// The kind of this system's registrations.
const LocationKind& location_kind(const Roots& roots);

// Shared by the kinds: adds the write of the manifest at `path` naming
// `named` (the host, or the wrapper that starts it), or notes it unchanged. A
// manifest there may be replaced when it names `named` or `host`, or --force
// says so; the ids it admits stay admitted unless --replace-ids.
[[nodiscard]] Result<void> plan_manifest(Plan& plan, const std::string& path, const std::string& host,
                                         const std::string& named, const std::vector<std::string>& ids,
                                         const CommandLine& line, const Location& location);

// Shared by the kinds: adds the removal of the manifest at `path`, keeping
// its content to put back on failure; when it does not name `host` (a
// Flatpak manifest: through its wrapper), reports it left instead. Returns
// whether it goes.
[[nodiscard]] Result<bool> plan_removal(Plan& plan, const std::string& path, std::vector<std::string> browsers,
                                        Scope scope, bool shared, const std::optional<std::string>& host);

// Whether the manifest `content` at `path` names `host`, or no host was given.
bool names_host(const std::string& path, const std::string& content, const std::optional<std::string>& host);

// The refusal to replace `what`, a file or key that is not this host's
// registration, which only --force overrides.
Failure needs_force(const std::string& what);

}  // namespace orvix::register_tool
