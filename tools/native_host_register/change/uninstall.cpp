#include "uninstall.h"

#include "host_manifest.h"
#include "location_kind.h"
#include "registration_plan.h"

namespace orvix::register_tool {

namespace {

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
  if (auto planned = location_kind(context.roots).plan_uninstall({context, *locations, scope, host, removed}, plan);
      !planned) {
    return planned.error();
  }
  return plan;
}

}  // namespace

Result<int> uninstall_command(const Context& context, const CommandLine& line, std::ostream& out) {
  return plan_and_apply([&](const auto& removed) { return plan_uninstall(context, line, removed); },
                        /*make_folders=*/false, context.roots, line, out);
}

}  // namespace orvix::register_tool
