// The files and registry values one command changes, applied as a whole:
// when a step fails, the steps before it are undone (a replaced manifest gets
// its old content back, a new one is removed, a registry value is restored or
// its key deleted), so a failed command leaves nothing half-written.
//
// Every step is recorded for the report, one line per file or key.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/registry.h"
#include "registration_targets.h"

namespace orvix::register_tool {

// One line of a command's report.
struct Change {
  std::string action;                 // "wrote", "would write", "unchanged", "removed", "set", ...
  std::string where;                  // the file, or the key and its view
  std::vector<std::string> browsers;  // the browsers it serves
  Scope scope = Scope::user;
};

struct Outcome {
  std::vector<Change> changes;
  std::optional<std::string> failure;  // one sentence; the command failed
};

struct FileStep {
  std::string path;
  std::optional<std::string> content;   // nothing: remove the file
  std::optional<std::string> previous;  // what was there before (nothing: no file)
  bool shared = false;                  // readable by every user (system scope)
};

struct RegistryStep {
  platform::RegistryHive hive;
  platform::RegistryView view;
  std::string key;
  std::optional<std::string> value;     // nothing: delete the key
  std::optional<std::string> previous;  // the default value before
};

class ChangeSet {
 public:
  void add(FileStep step, std::vector<std::string> browsers, Scope scope);
  void add(RegistryStep step, std::vector<std::string> browsers, Scope scope);
  // A line for the report about something left as it was.
  void note(Change change) { notes_.push_back(std::move(change)); }

  // Applies every step in order (or only reports them, as "would ...", when
  // `dry_run`). On failure, undoes the applied steps in reverse order.
  Outcome apply(bool dry_run);

 private:
  struct Entry {
    std::optional<FileStep> file;
    std::optional<RegistryStep> registry;
    std::vector<std::string> browsers;
    Scope scope;
  };
  std::vector<Entry> entries_;
  std::vector<Change> notes_;
};

// "HKCU\Software\...\com.orvix.chrome_native_host (64-bit view)".
std::string registry_display(platform::RegistryHive hive, platform::RegistryView view, const std::string& key);

}  // namespace orvix::register_tool
