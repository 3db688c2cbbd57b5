#include "support/file_owner.h"

#include "platform/environment.h"

namespace orvix::platform {

std::optional<std::string> other_owner(const std::string&) { return std::nullopt; }

std::string current_user_name() { return environment_variable("USERNAME").value_or(""); }

std::string user_database_home() { return {}; }

}  // namespace orvix::platform
