// The administrator's native-messaging policies for one browser, read where
// the browser reads them, and what they mean for this host.
//
// Linux: the JSON files (*.json) in the browser's policy folder, managed/
// and recommended/ below /etc/opt/chrome/policies, /etc/chromium/policies,
// /etc/opt/edge/policies or /etc/brave/policies (under
// ORVIX_REGISTER_SYSTEM_ROOT); where two files set a policy, the later file
// in name order wins. Windows: HKLM, then HKCU, key
// Software\Policies\<vendor>\<browser>, recommended ones in its Recommended subkey; a list policy is a
// subkey whose values "1", "2", ... hold the entries. A machine policy wins
// over a user one, a mandatory one over a recommended one. macOS
// (configuration profiles) is not read; neither are browsers without policy
// support of their own (Vivaldi, Opera, Flatpak builds, ...).
//
// The browser applies the three native-messaging policies only when they
// are mandatory: a recommended value is kept here only to say that it has
// no effect. Reading never fails: a file or key that cannot be read or
// parsed, and a value of the wrong type, become notes (the browser ignores
// them too). Blocks only for the file system and the registry.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers.h"

namespace orvix::register_tool {

template <class T>
struct PolicyValue {
  T value;
  std::string source;  // the file or registry key that sets it
  bool recommended = false;
};

struct NativeMessagingPolicies {
  std::optional<PolicyValue<bool>> user_level_hosts;                     // NativeMessagingUserLevelHosts
  std::optional<PolicyValue<std::vector<std::string>>> blocklist;        // NativeMessagingBlocklist
  std::optional<PolicyValue<std::vector<std::string>>> allowlist;        // NativeMessagingAllowlist
  std::vector<std::string> notes;                                         // what was ignored, and why
};

NativeMessagingPolicies read_policies(const Roots& roots, const BrowserRow& browser);

// When the browser reads no per-user registration (a mandatory
// NativeMessagingUserLevelHosts of false): the source that says so.
std::optional<std::string> user_level_hosts_disabled_by(const NativeMessagingPolicies& policies);

// When the browser refuses to start `host_name`: one sentence naming the
// source. The blocklist blocks a host it names, and every host with "*",
// unless the allowlist names the host.
std::optional<std::string> blocked_by(const NativeMessagingPolicies& policies, std::string_view host_name);

}  // namespace orvix::register_tool
