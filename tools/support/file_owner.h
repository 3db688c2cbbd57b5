// Who owns a file, for telling a user why they cannot replace a file in
// their own folders (a manifest written by "sudo install" that kept HOME).
//
// On Windows these calls report nothing: files below a user's profile take
// that profile's permissions, so an administrator writing there leaves a
// file the user can still replace, and no ACL owner check is made.
#pragma once

#include <optional>
#include <string>

namespace orvix::support {

// The name of the user who owns `path` (not following a final link) when
// that is not the user running this program; the numeric id when the user
// has no name. Nothing when this user owns it, it cannot be looked at, or
// on Windows.
std::optional<std::string> other_owner(const std::string& path);

// The name of the user running this program (POSIX: of the effective user
// id, or that id as a number; Windows: %USERNAME%, or "" when unset).
std::string current_user_name();

// Whether this program may change what every user of the machine reads:
// POSIX, it runs as root (effective user id 0); Windows, its token holds the
// Administrators group enabled (an elevated prompt).
bool is_administrator();

// The home folder the user database gives the user running this program,
// where a browser started without HOME keeps its profile; "" when there is
// none, and on Windows.
std::string user_database_home();

}  // namespace orvix::support
