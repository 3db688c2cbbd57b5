#include "registration_plan.h"

#include <filesystem>
#include <ostream>

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

struct Outcome {
  std::vector<Change> changes;
  std::optional<std::string> failure;  // one sentence; the command failed and changed nothing
  std::vector<std::string> warnings;
  std::vector<std::string> permissions;  // commands the user still has to run once (Flatpak)
};

// The file, or the key and its view, for the report.
std::string where_of(const Step& step) { return step.key ? registry_display(*step.key, step.view) : step.path; }

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
    std::string where = where_of(step);
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

}  // namespace

void plan_write(Plan& plan, Step step, bool unchanged) {
  if (unchanged) {
    plan.unchanged.push_back(Change{"unchanged", where_of(step), std::move(step.browsers), step.scope});
  } else {
    plan.steps.push_back(std::move(step));
  }
}

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

Result<std::string> absolute_host(const Context& context, const CommandLine& line) {
  const std::string given = line.host ? *line.host : default_host_path(context.roots.windows, context.own_path);
  auto absolute = platform::absolute_path(given);
  if (!absolute) {
    return Failure{Failure::Kind::kSystem,
                   "Cannot make the host path " + given + " absolute: " + absolute.error().text + "."};
  }
  return std::move(*absolute);
}

Result<int> apply_and_report(const Result<Plan>& planned, const CommandLine& line, std::ostream& out) {
  return report(planned ? apply(*planned, line.dry_run) : Outcome{{}, planned.error().text, {}, {}}, line.json, out);
}

}  // namespace orvix::register_tool
