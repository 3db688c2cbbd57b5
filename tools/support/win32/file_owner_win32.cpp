#include "support/file_owner.h"

#include <windows.h>

#include "platform/environment.h"

namespace orvix::support {

std::optional<std::string> other_owner(const std::string&) { return std::nullopt; }

std::string current_user_name() { return platform::environment_variable("USERNAME").value_or(""); }

std::string user_database_home() { return {}; }

bool is_administrator() {
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

}  // namespace orvix::support
