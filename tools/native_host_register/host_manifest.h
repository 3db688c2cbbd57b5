// The host manifest: the JSON file that tells a browser how to start the
// host and which extensions may talk to it.
//
//   {"allowed_origins":["chrome-extension://<id>/"],"description":"...",
//    "name":"com.orvix.chrome_native_host","path":"<host>","type":"stdio"}
//
// Everything here but read_manifest_file() is pure: no I/O.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "problem_code.h"

namespace orvix::register_tool {

// The names the tool writes and prints.
inline constexpr const char* kProgramName = "orvix-native-host-register";  // this tool
inline constexpr const char* kHostProgram = "orvix-chrome-native-host";    // the host it registers (+ ".exe")
inline constexpr const char* kHostName = "com.orvix.chrome_native_host";   // the manifest's name and file name
inline constexpr const char* kHostDescription = "Orvix Chrome native host";

// The host program registered when --host is not given: the host beside
// `own_path` (this program).
std::string default_host_path(bool windows, const std::string& own_path);

// The host to register, made absolute: `given` (--host), else
// default_host_path(). Install, uninstall --host and doctor's fixes all take
// it from here. Fails with "Cannot make the host path <path> absolute:
// <reason>."
[[nodiscard]] Result<std::string> host_to_register(bool windows, const std::optional<std::string>& given,
                                                   const std::string& own_path);

// An extension id as the browser makes it: 32 letters from 'a' to 'p'.
bool is_extension_id(std::string_view id);

// The ids a manifest admits: each of `given` once, in the order given. Fails
// on the first that is not an extension id.
[[nodiscard]] Result<std::vector<std::string>> extension_ids(const std::vector<std::string>& given);

// "chrome-extension://<id>/".
std::string origin_of(std::string_view id);

// The manifest for `host_path` admitting `extension_ids`, as compact JSON
// followed by a line break.
std::string manifest_text(const std::string& host_path, const std::vector<std::string>& extension_ids);

// One thing wrong with a manifest or the files around it.
struct ManifestProblem {
  ProblemCode code;
  std::string text;
};

struct ManifestCheck {
  std::optional<std::string> host_path;    // the "path" member, when a string
  std::vector<std::string> extension_ids;  // from the well-formed origins
  std::vector<std::string> unslashed_ids;  // from origins that lack only the trailing slash (admitting nothing)
  std::vector<ManifestProblem> problems;   // what the content itself gets wrong
};

// Checks manifest text: it parses, its name is the host's (the file is named
// after it), its type is "stdio", its path is a non-empty string that is
// absolute (`relative_path_allowed` on Windows, where the browser resolves it
// against the manifest's folder), and allowed_origins is a non-empty array of
// "chrome-extension://<id>/" strings (one without the final slash is the
// problem origin_missing_slash). The host file itself is not looked at.
ManifestCheck check_manifest(std::string_view text, bool relative_path_allowed);

// Windows: the browser starts the host through cmd.exe, with the host path
// between quotes on cmd.exe's command line. The problem host_path_percent
// when cmd.exe would start another path than `host_path`; else nothing.
std::optional<ManifestProblem> cmd_exe_problem(std::string_view host_path);

// Windows: a warning when `host_path` holds what cmd.exe changes only where
// the registry tells it to (a '!'); else nothing.
std::optional<std::string> cmd_exe_warning(std::string_view host_path);

// The content of the file at `path` that the tool reads whole (a manifest, a
// wrapper, a policy, a Flatpak keyfile, a profile's preferences): refused
// when it is larger than `limit` or not a regular file. Fails with "Cannot
// read <path>: <reason>."
[[nodiscard]] Result<std::string> read_small_file(const std::string& path, std::size_t limit);

// Manifests are small: anything above this, or anything that is not a
// regular file, is refused by read_manifest_file().
inline constexpr std::size_t kManifestLimit = 1024 * 1024;

// read_small_file() with kManifestLimit, for install (what is there now) and
// doctor (what the browser will read).
[[nodiscard]] Result<std::string> read_manifest_file(const std::string& path);

}  // namespace orvix::register_tool
