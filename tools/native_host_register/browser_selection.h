// Turning --browser names into table rows.
#pragma once

#include <string>
#include <vector>

#include <boost/system/result.hpp>

#include "refusal.h"
#include "registration_targets.h"

namespace orvix::register_tool {

enum class WhenNoneNamed { detected, every_known };

// The rows `names` pick: each known name, "all" for every detected browser.
// With no names, `none_named` decides. Unknown names fail with a sentence
// that lists the known ones; so does a selection that comes out empty.
[[nodiscard]] Checked<std::vector<const BrowserRow*>> select_browsers(
    const Roots& roots, const std::vector<std::string>& names, WhenNoneNamed none_named);

}  // namespace orvix::register_tool
