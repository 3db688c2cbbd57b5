#include "policies.h"

#include <algorithm>
#include <array>
#include <variant>

#include "base/path.h"
#include "host_manifest.h"
#include "json/parse.h"
#include "json/value.h"
#include "lenient_json.h"
#include "support/folders.h"
#include "support/registry.h"

namespace orvix::register_tool {

namespace {

using support::RegistryHive;
using support::RegistryView;

constexpr const char* kUserLevelHosts = "NativeMessagingUserLevelHosts";
constexpr const char* kBlocklist = "NativeMessagingBlocklist";
constexpr const char* kAllowlist = "NativeMessagingAllowlist";

// Where each browser family keeps its policies; all its channels read them.
struct PolicyHome {
  std::string_view family;  // the browser name, or the part before "-<channel>"
  std::string_view linux_folder;
  std::string_view windows_key;  // below Software\Policies
};

constexpr std::array kPolicyHomes{
    PolicyHome{"chrome", "/etc/opt/chrome/policies", "Google\\Chrome"},
    PolicyHome{"chromium", "/etc/chromium/policies", "Chromium"},
    PolicyHome{"edge", "/etc/opt/edge/policies", "Microsoft\\Edge"},
    PolicyHome{"brave", "/etc/brave/policies", "BraveSoftware\\Brave"},
};

const PolicyHome* policy_home(const BrowserRow& browser) {
  if (!browser.flatpak_app.empty()) return nullptr;
  for (const PolicyHome& home : kPolicyHomes) {
    if (browser.name == home.family || browser.name.starts_with(std::string(home.family) + "-")) return &home;
  }
  return nullptr;
}

// The policies one file or registry key sets.
struct Source {
  std::string where;
  bool recommended = false;
  bool registry = false;  // list policies then live in a subkey named after them
  json::Object policies;
};

// The *.json files of `folder`, later names first (a later file wins).
void add_folder(const std::string& folder, bool recommended, std::vector<Source>& sources,
                std::vector<std::string>& notes) {
  std::vector<std::string> files;
  auto names = support::folder_entries(folder);
  for (const auto& name : names ? *names : std::vector<std::string>{}) {
    if (name.ends_with(".json") && name != ".json") files.push_back(join_path(folder, name));
  }
  std::sort(files.rbegin(), files.rend());
  for (const auto& file : files) {
    auto text = read_manifest_file(file);
    if (!text) {
      notes.push_back(text.error().text + " The browser ignores it.");
      continue;
    }
    auto parsed = json::parse_json(strip_json_leniency(*text));
    if (!parsed || !parsed->is_object()) {
      notes.push_back("The policy file " + file + " is not a JSON object" +
                      (parsed ? std::string() : " (" + parsed.error().text + ")") + "; the browser ignores it.");
      continue;
    }
    sources.push_back(Source{file, recommended, false, std::move(parsed->as_object())});
  }
}

void add_key(RegistryHive hive, const std::string& key, bool recommended, std::vector<Source>& sources,
             std::vector<std::string>& notes) {
  const std::string where = registry_display({hive, key});
  Source source{where, recommended, true, {}};
  auto values = support::read_values(hive, RegistryView::bits64, key);
  if (!values) notes.push_back("Cannot read " + where + ": " + values.error().text + ".");
  for (const auto& value : values ? *values : std::vector<support::RegistryValue>{}) {
    const auto* number = std::get_if<std::uint32_t>(&value.data);
    if (value.name == kUserLevelHosts && number) source.policies[kUserLevelHosts] = *number != 0;
  }
  for (const char* list : {kBlocklist, kAllowlist}) {
    auto entries = support::read_values(hive, RegistryView::bits64, key + "\\" + list);
    json::Array items;
    for (const auto& entry : entries ? *entries : std::vector<support::RegistryValue>{}) {
      if (const auto* text = std::get_if<std::string>(&entry.data)) items.emplace_back(*text);
    }
    if (!items.empty()) source.policies[list] = std::move(items);
  }
  if (!source.policies.empty()) sources.push_back(std::move(source));
}

// Every source of the browser, the one that wins first.
std::vector<Source> read_sources(const Roots& roots, const PolicyHome& home, std::vector<std::string>& notes) {
  std::vector<Source> sources;
  if (roots.windows) {
    const std::string key = "Software\\Policies\\" + std::string(home.windows_key);
    for (bool recommended : {false, true}) {
      for (RegistryHive hive : {RegistryHive::local_machine, RegistryHive::current_user}) {
        add_key(hive, recommended ? key + "\\Recommended" : key, recommended, sources, notes);
      }
    }
  } else if (!roots.macos) {
    const std::string folder = roots.system_prefix + std::string(home.linux_folder);
    add_folder(folder + "/managed", false, sources, notes);
    add_folder(folder + "/recommended", true, sources, notes);
  }
  return sources;
}

// The winning value of `name`: the first source with a value of the right
// type (`list` of strings, else bool) that is mandatory; nothing when none is.
const json::Value* setting(const std::vector<Source>& sources, const char* name, bool list, std::string& where,
                           std::vector<std::string>& notes) {
  for (const Source& source : sources) {
    const json::Value* value = source.policies.if_contains(name);
    if (value == nullptr) continue;
    where = source.registry && list ? source.where + "\\" + name : source.where;
    const bool fits = list ? value->is_array() && std::all_of(value->as_array().begin(), value->as_array().end(),
                                                              [](const json::Value& item) { return item.is_string(); })
                           : value->is_bool();
    if (!fits) {
      notes.push_back(std::string(name) + " in " + where + " has the wrong type; the browser ignores it.");
    } else if (source.recommended) {
      notes.push_back(where + " recommends " + name + ", which the browser applies only when it is mandatory.");
      return nullptr;
    } else {
      return value;
    }
  }
  return nullptr;
}

bool names(const json::Value* list, std::string_view entry) {
  if (list == nullptr) return false;
  return std::any_of(list->as_array().begin(), list->as_array().end(),
                     [&](const json::Value& item) { return item.as_string() == entry; });
}

}  // namespace

PolicyVerdict read_policies(const Roots& roots, const BrowserRow& browser, const std::string& host_name) {
  PolicyVerdict verdict;
  const PolicyHome* home = policy_home(browser);
  if (home == nullptr) return verdict;
  const std::vector<Source> sources = read_sources(roots, *home, verdict.notes);
  std::string where;
  const json::Value* user_level = setting(sources, kUserLevelHosts, false, where, verdict.notes);
  if (user_level != nullptr && !user_level->as_bool()) verdict.user_level_hosts_off = where;
  std::string blocked_in;
  const json::Value* blocklist = setting(sources, kBlocklist, true, blocked_in, verdict.notes);
  const json::Value* allowlist = setting(sources, kAllowlist, true, where, verdict.notes);
  const bool every = names(blocklist, "*");
  if ((every || names(blocklist, host_name)) && !names(allowlist, host_name)) {
    verdict.blocked =
        blocked_in + " blocks " +
        (every ? "every native host (NativeMessagingBlocklist \"*\")" : "this host (NativeMessagingBlocklist)") +
        ", and no NativeMessagingAllowlist names " + host_name + ".";
  }
  return verdict;
}

}  // namespace orvix::register_tool
