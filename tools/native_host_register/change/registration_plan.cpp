#include "registration_plan.h"

#include <algorithm>
#include <map>
#include <ostream>

#include "base/path.h"
#include "host_manifest.h"
#include "json/serialize.h"
#include "json/value.h"
#include "platform/filesystem.h"
#include "support/file_owner.h"
#include "support/file_replace.h"
#include "support/folders.h"
#include "support/program_path.h"
#include "support/registration_lock.h"
#include "text_table.h"

namespace orvix::register_tool {

namespace {

struct Outcome {
  std::vector<Change> changes;
  std::optional<std::string> failure;  // one sentence; the command failed and changed nothing
  std::vector<std::string> warnings;
  std::vector<std::string> permissions;  // commands the user still has to run once (Flatpak)
  std::vector<std::string> notes;
};

// The file, or the key and its view, for the report.
std::string where_of(const Step& step) { return step.key ? registry_display(*step.key, step.view) : step.path; }

// Makes the file or registry value hold `value`; nothing: removes the file or deletes the key.
Result<void, platform::OsError> set(const Step& step, const std::optional<std::string>& value) {
  // A removed container comes back as what it held is put back, next in the undo.
  if (step.container && value) return {};
  if (step.container && !step.key) return support::remove_empty_folder(step.path);
  if (step.key) {
    if (value) return support::write_default_value(step.key->hive, step.view, step.key->key, *value);
    auto deleted = support::delete_key(step.key->hive, step.view, step.key->key);
    if (!deleted) return deleted.error();
    return {};
  }
  if (!value) return support::remove_file(step.path);
  platform::create_directories(parent_path(step.path));
  if (step.executable) return support::replace_executable_file(step.path, *value);
  return step.shared ? support::replace_shared_file(step.path, *value) : support::replace_file(step.path, *value);
}

// Applies every step in order (or only reports them, as "would ...", when
// `dry_run`). On failure, puts back what the applied steps changed, newest
// first; best effort, as the failure is reported anyway.
Outcome apply(const Plan& plan, bool dry_run) {
  Outcome outcome{plan.unchanged, std::nullopt, plan.warnings, plan.permissions, plan.notes};
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
                     {},
                     plan.notes};
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
    if (!outcome.notes.empty()) document["notes"] = json::Array(outcome.notes.begin(), outcome.notes.end());
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
  for (const auto& note : outcome.notes) out << note << "\n";
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

void note_removed_temporaries(Plan& plan, const std::vector<std::string>& removed, const std::string& file,
                              const Location& location) {
  for (const auto& temporary : removed) {
    if (temporary.rfind(file + ".tmp-", 0) == 0) {
      plan.unchanged.push_back(Change{"removed", temporary, location.browsers, location.target.scope});
    }
  }
}

namespace {

// What a failed --system change says when it may have lacked the right to write for every user.
void add_admin_hint(const Roots& roots, const CommandLine& line, Outcome& outcome) {
  if (!outcome.failure || !line.system || support::is_administrator()) return;
  *outcome.failure += roots.windows ? " Registering for every user needs an administrator: run the command again "
                                      "from an administrator command prompt."
                                    : " Registering for every user needs root: run the command again with sudo.";
}

}  // namespace

Result<int> plan_and_apply(const Planner& planner, bool make_folders, const Roots& roots, const CommandLine& line,
                           std::ostream& out) {
  auto first = planner({});
  if (!first || line.dry_run) {
    Outcome outcome = first ? apply(*first, line.dry_run) : Outcome{{}, first.error().text, {}, {}, {}};
    add_admin_hint(roots, line, outcome);
    return report(outcome, line.json, out);
  }
  // Each folder once (a second lock of it would wait for the first), in one
  // order for every run, so that two runs never wait for each other crosswise.
  std::map<std::string, std::vector<std::string>> folders;
  for (const auto& file : first->files) folders[parent_path(file)].push_back(file);

  std::vector<std::string> made;  // the folders this run made, to take back if it changes nothing
  auto take_back = [&made] {
    // Deepest first; only an empty folder goes.
    std::sort(made.begin(), made.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const auto& folder : made) (void)support::remove_empty_folder(folder);
  };
  std::vector<support::RegistrationLock> locks;
  std::vector<std::string> removed;
  for (const auto& [folder, files] : folders) {
    if (make_folders) {
      for (std::string missing = folder; !missing.empty() && !platform::path_exists(missing);
           missing = parent_path(missing)) {
        made.push_back(missing);
      }
      platform::create_directories(folder);
    }
    auto lock = support::RegistrationLock::acquire(files.front(), kLockWait);
    if (!lock && lock.error().kind == Failure::Kind::kPeer) {
      take_back();
      return report(Outcome{{},
                            "Another run of " + std::string(kProgramName) + " has been changing " + folder + " for " +
                                std::to_string(kLockWait.count() / 1000) +
                                " s. Nothing was changed; run the command again once that run has finished.",
                            {},
                            {},
                            {}},
                    line.json, out);
    }
    // A folder that cannot be locked (missing, or closed to this user) takes
    // no write from this run either: the step that writes there says why.
    if (lock) locks.push_back(std::move(*lock));
    for (const auto& file : files) {
      for (auto& temporary : support::remove_left_temporaries(file)) removed.push_back(std::move(temporary));
    }
  }
  auto planned = planner(removed);
  Outcome outcome = planned ? apply(*planned, false) : Outcome{{}, planned.error().text, {}, {}, {}};
  if (outcome.failure || (planned && planned->steps.empty())) take_back();
  add_admin_hint(roots, line, outcome);
  return report(outcome, line.json, out);
}

}  // namespace orvix::register_tool
