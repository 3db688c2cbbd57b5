// The extensions a browser's profiles run, read from the browser's own
// files, so doctor can tell whether an extension the registration admits is
// installed, and name the ones that ask for native messaging but are not
// admitted.
//
// The profiles are the folders "Default" and "Profile <n>" of the browser's
// user data folder. Each keeps its extensions in extensions.settings.<id> of
// "Secure Preferences" (Windows, macOS) or "Preferences" (Linux); the first
// file that names an id decides for it. An extension runs when neither a
// non-empty disable_reasons nor state 0 (older browsers) says it is
// disabled; it asks for native messaging when active_permissions.api holds
// "nativeMessaging". Its name is manifest.name of that entry, else of the
// manifest.json in its folder ("path": below the profile's Extensions
// folder, or absolute for one loaded unpacked); a "__MSG_key__" name is
// looked up in its _locales/<default_locale>/messages.json as the browser
// does, and stays empty when that fails. Never fails: a missing, oversized,
// non-regular or malformed file, and an entry whose id is not an extension
// id, are skipped (the browser rewrites its files; doctor must finish).
// Blocks only for the file system.
#pragma once

#include <string>
#include <vector>

namespace orvix::register_tool {

struct ProfileExtension {
  std::string id;
  std::string name;                   // the plain name people know it by, else empty
  std::vector<std::string> profiles;  // the profile folders that run it
  bool native_messaging = false;      // it asks for native messaging
};

struct Profiles {
  // Some profile's preferences were read, so an id missing from
  // `extensions` is installed nowhere (or disabled) rather than unknown.
  bool read = false;
  std::vector<ProfileExtension> extensions;  // those that run, each id once, in profile-name order
};

// The profiles in `user_data_folder` and the extensions they run.
Profiles read_profiles(const std::string& user_data_folder);

// Those of read_profiles() that ask for native messaging.
std::vector<ProfileExtension> native_messaging_extensions(const std::string& user_data_folder);

}  // namespace orvix::register_tool
