// The extensions a browser's profiles run with native messaging, read from
// the browser's own files, so doctor can name the ones a registration does
// not admit when no --extension-id says which extension is ours.
//
// The profiles are the folders "Default" and "Profile <n>" of the browser's
// user data folder. Each keeps its extensions in extensions.settings.<id> of
// "Secure Preferences" (Windows, macOS) or "Preferences" (Linux); the first
// file that names an id decides for it. An extension counts when
// active_permissions.api holds "nativeMessaging" and neither a non-empty
// disable_reasons nor state 0 (older browsers) says it is disabled. Never
// fails: a missing, oversized, non-regular or malformed file, and an entry
// whose id is not an extension id, are skipped (the browser rewrites its
// files; doctor must finish). Blocks only for the file system.
#pragma once

#include <string>
#include <vector>

namespace orvix::register_tool {

struct ProfileExtension {
  std::string id;
  std::string name;                   // manifest.name when the profile records a plain one, else empty
  std::vector<std::string> profiles;  // the profile folders that run it
};

// The extensions with native messaging of the profiles in `user_data_folder`,
// each id once, in profile-name order.
std::vector<ProfileExtension> native_messaging_extensions(const std::string& user_data_folder);

}  // namespace orvix::register_tool
