// What the system says about a program file before anything starts it: what
// would stop the system from starting it whatever its mode, what kind of
// program it is, and who besides the administrator could replace it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace orvix::support {

// The mount point (the highest folder above it on the same device) of the
// file system that holds `path` (links followed) when that file system is
// mounted so that no program on it may be started (noexec: removable media,
// a hardened /tmp), however its mode reads; nothing when programs may start
// there, when it cannot be told, and on Windows, which has no such mounts.
std::optional<std::string> noexec_mount(const std::string& path);

// The first `count` bytes of the regular file at `path` (fewer when it is
// shorter); "" when it is not a regular file or cannot be read. Opens
// without waiting on what it finds there (a pipe with no writer).
std::string file_start(const std::string& path, std::size_t count);

// Those of `path`, the folders above it and, when a link is on the way, the
// file and folders it leads to, that a user other than the administrator
// may replace or change, from the file up: POSIX, those owned by a user
// other than root, or whose mode lets a group other than root's or every
// user write to them (a sticky folder of root's, such as /tmp, lets no one
// replace what root owns in it, so only what is in it counts; a link's own
// owner and mode change nothing). Windows: the file and its folder when
// their access control list lets every user (Everyone, Authenticated Users,
// Interactive, Users) write to them, delete them or change their
// permissions. Empty when only the administrator may change any of them.
std::vector<std::string> replaceable_by_users(const std::string& path);

}  // namespace orvix::support
