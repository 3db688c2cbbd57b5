#include "install.h"

#include <ostream>

#include "base/path.h"
#include "host_manifest.h"
#include "host_program.h"
#include "location_kind.h"
#include "machine/flatpak.h"
#include "platform/filesystem.h"
#include "registration_plan.h"
#include "support/program_path.h"
#include "text_table.h"

namespace orvix::register_tool {

namespace {

// The browsers an install registers, chosen at its first planning and kept:
// the folders it then makes would make more browsers look installed. With
// them, the sentence that says they were installed but had not run yet.
struct BrowserChoice {
  std::optional<Result<std::vector<const BrowserRow*>>> rows;
  std::string first_run;
};

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
  if (auto unstartable = unstartable_host(*host, context.roots)) {
    return Failure{Failure::Kind::kInvalidInput, unstartable->text + refusal_advice(*unstartable, context.roots)};
  }
  if (!support::is_executable_file(*host)) {
    return Failure{Failure::Kind::kInvalidInput, "The host " + *host + " is not an executable file."};
  }
  Plan plan;
  // Every user's browser starts a system-wide registration's host.
  if (std::vector<std::string> paths; line.system) {
    if (auto replaceable = replaceable_host(*host, context.roots, paths)) {
      if (!line.force) {
        return Failure{Failure::Kind::kInvalidInput, replaceable->text + refusal_advice(*replaceable, context.roots) +
                                                         "; use --force to register it anyway."};
      }
      plan.warnings.push_back(std::move(replaceable->text));
    }
  }
  const LocationKind& kind = location_kind(context.roots);
  if (auto checked = kind.check_host(*host, plan); !checked) return checked.error();
  if (!chosen.rows) {
    chosen.rows = select_browsers(context.roots, line.browsers,
                                  line.system ? WhenNoneNamed::installed : WhenNoneNamed::detected, &chosen.first_run);
  }
  const auto& rows = *chosen.rows;
  if (!rows) return rows.error();
  if (!chosen.first_run.empty()) plan.notes.push_back(chosen.first_run);
  // Elsewhere the manifest's path, in the report, shows the folder given.
  if (auto note = user_data_dir_note(context.roots, *rows->front()); note && context.roots.windows) {
    plan.notes.push_back(*note);
  }
  auto locations = locations_of(context.roots, *rows, line.system ? Scope::system : Scope::user, false);
  if (!locations) return locations.error();
  if (auto planned = kind.plan_install({context, line, *locations, *host, *ids, removed}, plan); !planned) {
    return planned.error();
  }
  return plan;
}

}  // namespace

Result<int> install_command(const Context& context, const CommandLine& line, std::ostream& out) {
  if (line.ids_built_in && !line.json) {
    out << "No --extension-id given: admitting the product's extensions built into this program, "
        << joined(line.extension_ids) << ".\n";
  }
  BrowserChoice chosen;
  return plan_and_apply([&](const auto& removed) { return plan_install(context, line, chosen, removed); },
                        /*make_folders=*/true, context.roots, line, out);
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
