#include "change_set.h"

#include "support/file_replace.h"
#include "platform/filesystem.h"
#include "platform/path.h"

namespace orvix::register_tool {

namespace {

boost::system::result<void, platform::OsError> write_file(const std::string& path, const std::string& content,
                                                          bool shared) {
  platform::create_directories(platform::parent_path(path));
  return shared ? platform::replace_shared_file(path, content) : platform::replace_file(path, content);
}

// Puts a file back as `previous` says it was; best effort, the caller is
// already reporting a failure.
void restore_file(const FileStep& step) {
  if (step.previous) {
    (void)write_file(step.path, *step.previous, step.shared);
  } else if (step.content) {
    (void)platform::remove_file(step.path);
  }
}

boost::system::result<void, platform::OsError> set_registry(const RegistryStep& step,
                                                            const std::optional<std::string>& value) {
  if (value) return platform::write_default_value(step.hive, step.view, step.key, *value);
  auto deleted = platform::delete_key(step.hive, step.view, step.key);
  if (!deleted) return deleted.error();
  return {};
}

std::string file_action(const FileStep& step, bool dry_run) {
  if (!step.content) return dry_run ? "would remove" : "removed";
  return dry_run ? "would write" : "wrote";
}

std::string registry_action(const RegistryStep& step, bool dry_run) {
  if (!step.value) return dry_run ? "would delete" : "deleted";
  return dry_run ? "would set" : "set";
}

}  // namespace

std::string registry_display(platform::RegistryHive hive, platform::RegistryView view, const std::string& key) {
  return RegistryLocation{hive, key}.display() +
         (view == platform::RegistryView::bits64 ? " (64-bit view)" : " (32-bit view)");
}

void ChangeSet::add(FileStep step, std::vector<std::string> browsers, Scope scope) {
  entries_.push_back(Entry{std::move(step), std::nullopt, std::move(browsers), scope});
}

void ChangeSet::add(RegistryStep step, std::vector<std::string> browsers, Scope scope) {
  entries_.push_back(Entry{std::nullopt, std::move(step), std::move(browsers), scope});
}

Outcome ChangeSet::apply(bool dry_run) {
  Outcome outcome;
  outcome.changes = notes_;
  std::size_t applied = 0;
  for (; applied < entries_.size(); ++applied) {
    const Entry& entry = entries_[applied];
    Change change{"", "", entry.browsers, entry.scope};
    boost::system::result<void, platform::OsError> done;
    if (entry.file) {
      const FileStep& step = *entry.file;
      change.action = file_action(step, dry_run);
      change.where = step.path;
      if (!dry_run) done = step.content ? write_file(step.path, *step.content, step.shared)
                                        : platform::remove_file(step.path);
    } else {
      const RegistryStep& step = *entry.registry;
      change.action = registry_action(step, dry_run);
      change.where = registry_display(step.hive, step.view, step.key) +
                     (step.value ? " = " + *step.value : std::string());
      if (!dry_run) done = set_registry(step, step.value);
    }
    if (!done) {
      outcome.failure = "Cannot change " + change.where + ": " + done.error().text + ".";
      break;
    }
    outcome.changes.push_back(std::move(change));
  }
  if (!outcome.failure) return outcome;

  // Undo what was applied, newest first, and report that nothing changed.
  while (applied > 0) {
    const Entry& entry = entries_[--applied];
    if (entry.file) restore_file(*entry.file);
    if (entry.registry) (void)set_registry(*entry.registry, entry.registry->previous);
  }
  outcome.changes = notes_;
  *outcome.failure += " Nothing was changed.";
  return outcome;
}

}  // namespace orvix::register_tool
