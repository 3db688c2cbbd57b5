// The administrator's native-messaging policies for one browser, read where
// the browser reads them, and what they mean for the host.
//
// Linux: the *.json files in managed/ and recommended/ of the browser's
// policy folder (/etc/opt/chrome/policies, /etc/chromium/policies,
// /etc/opt/edge/policies, /etc/brave/policies, under
// ORVIX_REGISTER_SYSTEM_ROOT); of two files, the later in name order wins.
// A file is read as the browser reads it: comments and trailing commas are
// accepted (lenient_json.h).
// Windows: the key Software\Policies\<vendor>\<browser> in HKLM, then HKCU
// (the machine wins), and its Recommended subkey; a list policy is a subkey
// whose values "1", "2", ... hold the entries. macOS profiles and browsers
// without policies of their own (Vivaldi, Opera, Flatpak builds) are not read.
//
// The browser applies NativeMessagingBlocklist, NativeMessagingAllowlist and
// NativeMessagingUserLevelHosts only when they are mandatory, so a
// recommended value only earns a note. Never fails: a file or key that cannot
// be read or parsed, or a value of the wrong type, is a note (the browser
// ignores it too). Blocks only for the file system and the registry.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "browsers.h"

namespace orvix::register_tool {

struct PolicyVerdict {
  std::optional<std::string> user_level_hosts_off;  // the file or key that sets it to false
  std::optional<std::string> blocked;               // why the host may not start: one sentence naming the source
  std::vector<std::string> notes;                   // what was ignored, and why
};

// The blocklist blocks `host_name` when it names it or "*", unless the
// allowlist names `host_name`.
PolicyVerdict read_policies(const Roots& roots, const BrowserRow& browser, const std::string& host_name);

}  // namespace orvix::register_tool
