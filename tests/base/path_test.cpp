#include "base/path.h"

#include <gtest/gtest.h>

#include <string>

namespace orvix {
namespace {

// A fixed tail appended in one piece must give the path that appending its
// components one by one gives, whatever the home ends with.
TEST(Path, RelativeTailJoinsAsItsComponentsWould) {
  const std::string sep(1, path_separator());
  for (const std::string& home :
       {std::string(), std::string("/h"), std::string("/h/"), "rel" + sep, std::string("/")}) {
    SCOPED_TRACE(home);
    std::string one_step = home;
    append_relative_path(one_step, "data/runtime/x.json");
    std::string by_component = home;
    for (const char* component : {"data", "runtime", "x.json"}) append_path(by_component, component);
    EXPECT_EQ(one_step, by_component);
  }
}

}  // namespace
}  // namespace orvix
