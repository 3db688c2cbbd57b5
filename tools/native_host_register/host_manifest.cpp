#include "host_manifest.h"

#include "json/lookup.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "json/value.h"
#include "platform/program_path.h"
#include "registration_targets.h"

namespace orvix::register_tool {

namespace {

constexpr std::string_view kOriginPrefix = "chrome-extension://";

// The id inside a well-formed origin, or nothing.
std::optional<std::string> id_of_origin(std::string_view origin) {
  if (!origin.starts_with(kOriginPrefix) || !origin.ends_with('/')) return std::nullopt;
  std::string_view id = origin.substr(kOriginPrefix.size(), origin.size() - kOriginPrefix.size() - 1);
  if (!is_extension_id(id)) return std::nullopt;
  return std::string(id);
}

void check_origins(const json::Value* origins, ManifestCheck& check) {
  const json::Array* list = origins != nullptr ? origins->if_array() : nullptr;
  if (list == nullptr || list->empty()) {
    check.problems.push_back({"origins_invalid", "allowed_origins is missing or not a non-empty list."});
    return;
  }
  for (const json::Value& entry : *list) {
    const json::String* text = entry.if_string();
    auto id = text != nullptr ? id_of_origin(*text) : std::nullopt;
    if (!id) {
      check.problems.push_back({"origins_invalid", "allowed_origins holds " + json::to_compact_string(entry) +
                                                       ", not chrome-extension://<32 letters a-p>/."});
      continue;
    }
    check.extension_ids.push_back(*id);
  }
}

void check_path(const json::Value* path, bool relative_path_allowed, ManifestCheck& check) {
  const json::String* text = path != nullptr ? path->if_string() : nullptr;
  if (text == nullptr || text->empty()) {
    check.problems.push_back({"path_missing", "The manifest names no host path."});
    return;
  }
  check.host_path = std::string(*text);
  if (!relative_path_allowed && !platform::is_absolute_path(*check.host_path)) {
    check.problems.push_back({"path_not_absolute", "The host path " + *check.host_path + " is not absolute."});
  }
}

}  // namespace

bool is_extension_id(std::string_view id) {
  if (id.size() != 32) return false;
  for (char c : id) {
    if (c < 'a' || c > 'p') return false;
  }
  return true;
}

std::string origin_of(std::string_view id) { return std::string(kOriginPrefix) + std::string(id) + "/"; }

std::string manifest_text(const std::string& host_path, const std::vector<std::string>& extension_ids) {
  json::Array origins;
  for (const auto& id : extension_ids) origins.emplace_back(origin_of(id));
  json::Object manifest;
  manifest["name"] = kHostName;
  manifest["description"] = kHostDescription;
  manifest["path"] = host_path;
  manifest["type"] = "stdio";
  manifest["allowed_origins"] = std::move(origins);
  return json::to_compact_string(manifest) + "\n";
}

ManifestCheck check_manifest(std::string_view text, bool relative_path_allowed) {
  ManifestCheck check;
  auto parsed = json::parse_json(text);
  if (!parsed || !parsed->is_object()) {
    check.problems.push_back(
        {"manifest_invalid", parsed ? std::string("The manifest is not a JSON object.")
                                    : "The manifest is not valid JSON: " + parsed.error().text + "."});
    return check;
  }
  check.parsed = true;
  const json::Value& manifest = *parsed;
  auto name = json::string_at(manifest, {"name"});
  if (name != kHostName) {
    check.problems.push_back({"name_mismatch", "The manifest's name is " +
                                                   (name ? "\"" + std::string(*name) + "\"" : std::string("missing")) +
                                                   ", not \"" + kHostName + "\" as its file name says."});
  }
  if (json::string_at(manifest, {"type"}) != "stdio") {
    check.problems.push_back({"type_invalid", "The manifest's type is not \"stdio\"."});
  }
  check_path(json::find_member(&manifest, "path"), relative_path_allowed, check);
  check_origins(json::find_member(&manifest, "allowed_origins"), check);
  return check;
}

}  // namespace orvix::register_tool
