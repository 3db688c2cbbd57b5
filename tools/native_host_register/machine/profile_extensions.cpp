#include "profile_extensions.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "base/path.h"
#include "host_manifest.h"
#include "json/lookup.h"
#include "json/parse.h"
#include "json/value.h"
#include "lenient_json.h"
#include "support/folders.h"
#include "support/program_path.h"

namespace orvix::register_tool {

namespace {

// Preferences of a profile with many extensions stay far below this; a
// larger file is not the browser's.
constexpr std::size_t kPreferencesLimit = 32 * 1024 * 1024;

// The profile folders, by name.
std::vector<std::string> profile_names(const std::string& folder) {
  std::vector<std::string> names;
  auto entries = support::folder_entries(folder);
  for (const auto& name : entries ? *entries : std::vector<std::string>{}) {
    if (name == "Default" || name.starts_with("Profile ")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool is_disabled(const json::Value& entry) {
  if (const json::Value* reasons = json::find_member(&entry, "disable_reasons")) {
    if (reasons->is_array() && !reasons->as_array().empty()) return true;
    if (reasons->is_number() && reasons->to_number<double>() != 0) return true;
  }
  const json::Value* state = json::find_member(&entry, "state");
  return state != nullptr && state->is_number() && state->to_number<double>() == 0;
}

bool asks_for_native_messaging(const json::Value& entry) {
  const json::Value* api = json::find_path(&entry, {"active_permissions", "api"});
  if (api == nullptr || !api->is_array()) return false;
  return std::any_of(api->as_array().begin(), api->as_array().end(),
                     [](const json::Value& item) { return item.is_string() && item.as_string() == "nativeMessaging"; });
}

// An extension's own manifest.json or messages.json stays far below this.
constexpr std::size_t kExtensionFileLimit = 1024 * 1024;

// A JSON file of an extension's folder, read as the browser reads it (it
// takes comments there too); nothing when it cannot be.
std::optional<json::Value> read_extension_file(const std::string& path) {
  auto text = read_small_file(path, kExtensionFileLimit);
  if (!text) return std::nullopt;
  auto parsed = json::parse_json(strip_json_leniency(*text));
  if (!parsed) return std::nullopt;
  return std::move(*parsed);
}

// The text of the message `key` in messages.json, whose keys the browser
// matches without regard to case.
std::optional<std::string> message(const json::Value& messages, std::string_view key) {
  if (!messages.is_object()) return std::nullopt;
  const auto lower = [](std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
  };
  for (const auto& [name, value] : messages.as_object()) {
    if (lower(name) != lower(key)) continue;
    if (auto text = json::string_at(value, {"message"})) return std::string(*text);
  }
  return std::nullopt;
}

// The name people know the extension by: its manifest's name, a
// "__MSG_key__" one looked up in its default locale; empty when there is
// none, or it holds text a terminal would act on.
std::string plain_name(const json::Value& entry, const std::string& profile_folder) {
  std::string folder;
  if (const auto path = json::string_at(entry, {"path"}); path && !path->empty()) {
    folder = support::is_absolute_path(*path) ? std::string(*path)
                                              : join_path(join_path(profile_folder, "Extensions"), std::string(*path));
  }
  std::optional<json::Value> on_disk;
  const json::Value* manifest = json::find_member(&entry, "manifest");
  if ((manifest == nullptr || !manifest->is_object()) && !folder.empty()) {
    on_disk = read_extension_file(join_path(folder, "manifest.json"));
    manifest = on_disk ? &*on_disk : nullptr;
  }
  const auto name = manifest != nullptr ? json::string_at(*manifest, {"name"}) : std::nullopt;
  if (!name) return {};
  std::string text(*name);
  if (text.size() > 8 && text.starts_with("__MSG_") && text.ends_with("__")) {
    const auto locale = json::string_at(*manifest, {"default_locale"});
    std::optional<json::Value> messages;
    if (locale && !folder.empty() && locale->find_first_of("/\\") == std::string_view::npos) {
      messages = read_extension_file(
          join_path(join_path(join_path(folder, "_locales"), std::string(*locale)), "messages.json"));
    }
    const auto found = messages ? message(*messages, std::string_view(text).substr(6, text.size() - 8)) : std::nullopt;
    text = found.value_or("");
  }
  const bool plain =
      std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
  return plain ? text : std::string();
}

void read_preferences(const std::string& file, const std::string& profile, std::vector<std::string>& seen,
                      Profiles& found) {
  auto text = read_small_file(file, kPreferencesLimit);
  if (!text) return;
  auto parsed = json::parse_json(*text);
  if (!parsed) return;
  found.read = true;
  const json::Value* settings = json::find_path(&*parsed, {"extensions", "settings"});
  if (settings == nullptr || !settings->is_object()) return;
  const std::string profile_folder = parent_path(file);
  for (const auto& [key, value] : settings->as_object()) {
    const std::string id(key);
    if (!is_extension_id(id) || !value.is_object() || std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
    seen.push_back(id);
    if (is_disabled(value)) continue;
    auto& all = found.extensions;
    auto known = std::find_if(all.begin(), all.end(), [&](const ProfileExtension& e) { return e.id == id; });
    if (known == all.end()) known = all.insert(all.end(), ProfileExtension{id, {}, {}, false});
    if (known->name.empty()) known->name = plain_name(value, profile_folder);
    known->native_messaging |= asks_for_native_messaging(value);
    known->profiles.push_back(profile);
  }
}

}  // namespace

Profiles read_profiles(const std::string& user_data_folder) {
  Profiles found;
  for (const std::string& profile : profile_names(user_data_folder)) {
    const std::string folder = join_path(user_data_folder, profile);
    std::vector<std::string> seen;  // ids this profile's first file decided
    for (const char* file : {"Secure Preferences", "Preferences"}) {
      read_preferences(join_path(folder, file), profile, seen, found);
    }
  }
  return found;
}

std::vector<ProfileExtension> native_messaging_extensions(const std::string& user_data_folder) {
  std::vector<ProfileExtension> found = read_profiles(user_data_folder).extensions;
  std::erase_if(found, [](const ProfileExtension& extension) { return !extension.native_messaging; });
  return found;
}

}  // namespace orvix::register_tool
