// What a browser installed through Flatpak needs to start the host, which
// lies outside its sandbox. The browser can only start programs it sees
// inside the sandbox, so its manifest names a wrapper: a POSIX sh script
// beside the manifest (in the app's own folder, which the sandbox sees at the
// same path) that has flatpak-spawn --host start the host outside. That
// works only when the app may talk to the org.freedesktop.Flatpak service on
// the session bus, which the user grants once with permission_command().
//
// Everything here but read_talk_permission() is pure.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "browsers.h"

namespace orvix::register_tool {

// The wrapper of the manifest at `manifest_path`: beside it, named after the
// host with ".sh".
std::string wrapper_path(const std::string& manifest_path);

// The wrapper that starts the host at `host_path` (absolute) outside the
// sandbox, in the host's folder as a browser starts it, passing the
// browser's arguments on unchanged. It execs, so stdin and stdout (the
// frames) belong to the host alone.
std::string wrapper_text(const std::string& host_path);

// The host that `text` starts when it is exactly a wrapper_text(); else nothing.
std::optional<std::string> host_of_wrapper(std::string_view text);

// `text` as one word of a POSIX shell command: in single quotes, each ' as '\''.
std::string shell_quoted(std::string_view text);

// "flatpak override --user --talk-name=org.freedesktop.Flatpak <app id>".
std::string permission_command(std::string_view app_id);

struct TalkPermission {
  bool granted = false;                   // "talk" or "own"
  std::optional<std::string> decided_by;  // the file whose value counts; nothing: none names the service
  std::string value;                      // what that file says ("talk", "own", "see", "none")
};

// Whether the app may talk to org.freedesktop.Flatpak, from the files flatpak
// merges for it, each later one overriding the earlier: the app's own
// metadata; the system-wide overrides (the "global" file, then the app's),
// which flatpak applies only to an app installed system-wide, and it runs
// the per-user install of an app when there is one; then the per-user
// overrides (global, then the app's). Per-user files lie below
// $XDG_DATA_HOME/flatpak, system-wide ones below
// $ORVIX_REGISTER_SYSTEM_ROOT/var/lib/flatpak. A missing or unreadable file
// counts as empty.
TalkPermission read_talk_permission(const Roots& roots, std::string_view app_id);

}  // namespace orvix::register_tool
