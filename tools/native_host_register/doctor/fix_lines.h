// The fix lines doctor prints: each a command that works as printed in the
// shell of this system. It names this tool (and orvix-nm-client) as PATH
// finds it or by its absolute path, quotes every path for that shell, and
// carries the ids and host the registration names. Pure but for looking at
// files (which exist, what PATH finds); nothing here writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers.h"

namespace orvix::register_tool {

// `program` as the first word of a fix line: its bare name when PATH finds
// the same file as this program (for kProgramName) or the program beside it
// (or when there is none beside it), else that file's absolute path; quoted
// for the system's shell.
std::string command_word(const Roots& roots, const std::string& own_path, std::string_view program);

// `text` as one word of a command line: POSIX shells take it in single
// quotes; Windows' cmd in double quotes, when it holds a character that cmd
// splits at or gives a meaning (a space, '&', '(' ...). A '%' cmd expands
// even between quotes: doctor refuses host paths where that matters.
std::string quoted_if_needed(const Roots& roots, const std::string& text);

// A command that changes a system-wide registration, as it must be run.
std::string as_admin(const Roots& roots, const std::string& command);

// `text` as the word that the shell's echo prints as `text`.
std::string echo_word(const Roots& roots, std::string_view text);

// The command that lets every user read the file `path`, where the system
// has one to print (not Windows, where a file takes its folder's
// permissions); else nothing.
std::optional<std::string> readable_by_all_command(const Roots& roots, const std::string& path);

// " --user-data-dir DIR" when the command was given one (roots.user_data_dir),
// so that a per-user fix changes the folder checked; else "".
std::string user_data_dir_option(const Roots& roots);

// " --extension-id ID" for each of `ids`; none: one with a placeholder that
// says where the id is found.
std::string extension_id_words(const std::vector<std::string>& ids);

// The install command that registers `host` (nothing, or not an executable
// file: the host beside this program when `may_name_beside`, else a
// placeholder that says where the host comes from) for `browser` in `scope`,
// admitting `ids` (none: a placeholder).
std::string install_command_line(const Roots& roots, const BrowserRow& browser, Scope scope,
                                 const std::vector<std::string>& ids, const std::optional<std::string>& host,
                                 const std::string& own_path, bool may_name_beside = true);

}  // namespace orvix::register_tool
