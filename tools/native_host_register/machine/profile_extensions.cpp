#include "profile_extensions.h"

#include <algorithm>

#include "host_manifest.h"
#include "json/lookup.h"
#include "json/parse.h"
#include "json/value.h"
#include "platform/path.h"
#include "support/folders.h"

namespace orvix::register_tool {

namespace {

// Preferences of a profile with many extensions stay far below this; a
// larger file is not the browser's.
constexpr std::size_t kPreferencesLimit = 32 * 1024 * 1024;

// The profile folders, by name.
std::vector<std::string> profile_names(const std::string& folder) {
  std::vector<std::string> names;
  auto entries = platform::folder_entries(folder);
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

// The name people know it by; nothing for a placeholder the browser
// localizes ("__MSG_name__") or text a terminal would act on.
std::string plain_name(const json::Value& entry) {
  const auto name = json::string_at(entry, {"manifest", "name"});
  if (!name) return {};
  const std::string text(*name);
  const bool plain = !text.starts_with("__MSG_") && std::none_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
  return plain ? text : std::string();
}

void read_preferences(const std::string& file, const std::string& profile, std::vector<std::string>& seen,
                      std::vector<ProfileExtension>& found) {
  auto text = read_small_file(file, kPreferencesLimit);
  if (!text) return;
  auto parsed = json::parse_json(*text);
  if (!parsed) return;
  const json::Value* settings = json::find_path(&*parsed, {"extensions", "settings"});
  if (settings == nullptr || !settings->is_object()) return;
  for (const auto& [key, value] : settings->as_object()) {
    const std::string id(key);
    if (!is_extension_id(id) || !value.is_object() || std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
    seen.push_back(id);
    if (is_disabled(value) || !asks_for_native_messaging(value)) continue;
    auto known = std::find_if(found.begin(), found.end(), [&](const ProfileExtension& e) { return e.id == id; });
    if (known == found.end()) known = found.insert(found.end(), ProfileExtension{id, plain_name(value), {}});
    if (known->name.empty()) known->name = plain_name(value);
    known->profiles.push_back(profile);
  }
}

}  // namespace

std::vector<ProfileExtension> native_messaging_extensions(const std::string& user_data_folder) {
  std::vector<ProfileExtension> found;
  for (const std::string& profile : profile_names(user_data_folder)) {
    const std::string folder = platform::join_path(user_data_folder, profile);
    std::vector<std::string> seen;  // ids this profile's first file decided
    for (const char* file : {"Secure Preferences", "Preferences"}) {
      read_preferences(platform::join_path(folder, file), profile, seen, found);
    }
  }
  return found;
}

}  // namespace orvix::register_tool
