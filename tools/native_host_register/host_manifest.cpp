#include "host_manifest.h"

#include <algorithm>

#include "base/path.h"
#include "json/lookup.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "json/value.h"
#include "platform/filesystem.h"
#include "support/program_path.h"

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
    check.problems.push_back({ProblemCode::origins_invalid, "allowed_origins is missing or not a non-empty list."});
    return;
  }
  for (const json::Value& entry : *list) {
    const json::String* text = entry.if_string();
    auto id = text != nullptr ? id_of_origin(*text) : std::nullopt;
    if (auto unslashed = text != nullptr && !id ? id_of_origin(std::string(*text) + "/") : std::nullopt) {
      check.problems.push_back(
          {ProblemCode::origin_missing_slash, "allowed_origins holds \"" + std::string(*text) +
                                                  "\", which lacks the trailing slash, so the browser "
                                                  "refuses the whole manifest and finds no host for "
                                                  "any extension."});
      check.unslashed_ids.push_back(*unslashed);
      continue;
    }
    if (!id) {
      check.problems.push_back(
          {ProblemCode::origins_invalid,
           "allowed_origins holds " + json::to_compact_string(entry) + ", not chrome-extension://<32 letters a-p>/."});
      continue;
    }
    check.extension_ids.push_back(*id);
  }
}

void check_path(const json::Value* path, bool relative_path_allowed, ManifestCheck& check) {
  const json::String* text = path != nullptr ? path->if_string() : nullptr;
  if (text == nullptr || text->empty()) {
    check.problems.push_back({ProblemCode::path_missing, "The manifest names no host path."});
    return;
  }
  check.host_path = std::string(*text);
  if (!relative_path_allowed && !support::is_absolute_path(*check.host_path)) {
    check.problems.push_back(
        {ProblemCode::path_not_absolute, "The host path " + *check.host_path + " is not absolute."});
  }
}

}  // namespace

// cmd.exe replaces %NAME% with the variable's value even between quotes, and
// /d does not stop it (under Wine a folder 50%OS%x became 50Windows_NTx).
// Which names are variables depends on the environment of each user and
// browser, so no path with two % signs is safe; a single % stays as it is.
std::optional<ManifestProblem> cmd_exe_problem(std::string_view host_path) {
  if (std::count(host_path.begin(), host_path.end(), '%') < 2) return std::nullopt;
  return ManifestProblem{ProblemCode::host_path_percent,
                         "The host path " + std::string(host_path) +
                             " holds two % signs: the browser starts the host through cmd.exe, which reads %NAME% "
                             "as an environment variable even between quotes, and would start another path."};
}

// Where delayed expansion is turned on (DelayedExpansion under
// Software\Microsoft\Command Processor in HKLM or HKCU; the browser does not
// pass /v:off), cmd.exe reads !NAME! as a variable and drops a lone '!'. It
// is off unless someone turned it on, under Wine a '!' is carried, and doctor
// starts the host through cmd.exe on the machine it checks: so a warning,
// not a refusal of folders that work nearly everywhere.
std::optional<std::string> cmd_exe_warning(std::string_view host_path) {
  if (host_path.find('!') == std::string_view::npos) return std::nullopt;
  return "The host path " + std::string(host_path) +
         " holds '!', which cmd.exe (through which the browser starts the host) removes where delayed expansion is "
         "turned on in the registry (DelayedExpansion under Software\\Microsoft\\Command Processor); doctor shows "
         "whether the host starts on this machine.";
}

std::string default_host_path(bool windows, const std::string& own_path) {
  return join_path(parent_path(own_path), std::string(kHostProgram) + (windows ? ".exe" : ""));
}

Result<std::string> host_to_register(bool windows, const std::optional<std::string>& given,
                                     const std::string& own_path) {
  const std::string path = given ? *given : default_host_path(windows, own_path);
  auto absolute = support::absolute_path(path);
  if (!absolute) {
    return Failure{Failure::Kind::kSystem,
                   "Cannot make the host path " + path + " absolute: " + absolute.error().text + "."};
  }
  return std::move(*absolute);
}

bool is_extension_id(std::string_view id) {
  if (id.size() != 32) return false;
  for (char c : id) {
    if (c < 'a' || c > 'p') return false;
  }
  return true;
}

Result<std::vector<std::string>> extension_ids(const std::vector<std::string>& given) {
  std::vector<std::string> ids;
  for (const auto& id : given) {
    if (!is_extension_id(id)) {
      return Failure{Failure::Kind::kInvalidInput,
                     "Extension id \"" + id + "\" is not 32 letters from a to p (chrome://extensions shows the id)."};
    }
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
  return ids;
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
  // The browser skips a UTF-8 byte order mark, which Notepad writes.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  auto parsed = json::parse_json(text);
  if (!parsed || !parsed->is_object()) {
    check.problems.push_back(
        {ProblemCode::manifest_invalid, parsed ? std::string("The manifest is not a JSON object.")
                                               : "The manifest is not valid JSON: " + parsed.error().text + "."});
    return check;
  }
  const json::Value& manifest = *parsed;
  auto name = json::string_at(manifest, {"name"});
  if (name != kHostName) {
    check.problems.push_back(
        {ProblemCode::name_mismatch, "The manifest's name is " +
                                         (name ? "\"" + std::string(*name) + "\"" : std::string("missing")) +
                                         ", not \"" + kHostName + "\" as its file name says."});
  }
  if (json::string_at(manifest, {"type"}) != "stdio") {
    check.problems.push_back({ProblemCode::type_invalid, "The manifest's type is not \"stdio\"."});
  }
  check_path(json::find_member(&manifest, "path"), relative_path_allowed, check);
  check_origins(json::find_member(&manifest, "allowed_origins"), check);
  return check;
}

Result<std::string> read_manifest_file(const std::string& path) { return read_small_file(path, kManifestLimit); }

Result<std::string> read_small_file(const std::string& path, std::size_t limit) {
  auto content = platform::read_regular_file(path, limit);
  if (content) return std::move(*content);
  std::string reason;
  switch (content.error().kind) {
    case platform::FileError::Kind::kNotRegular: reason = "it is not a regular file"; break;
    case platform::FileError::Kind::kTooLarge: reason = "it is larger than " + std::to_string(limit) + " bytes"; break;
    case platform::FileError::Kind::kNotFound:
    case platform::FileError::Kind::kOsError: reason = content.error().os.text; break;
  }
  return Failure{Failure::Kind::kSystem, "Cannot read " + path + ": " + reason + "."};
}

}  // namespace orvix::register_tool
