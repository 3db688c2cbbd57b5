#include "native_host_register/text_table.h"

#include <gtest/gtest.h>

#include <sstream>

namespace orvix::register_tool {
namespace {

TEST(TextTable, AlignsColumnsByCharactersNotBytes) {
  TextTable table;
  table.add({"BROWSER", "STATUS", "WHERE"});
  table.add({"édge", "ok", "/a"});
  table.add({"chromium", "", "/b"});
  std::ostringstream out;
  table.print(out, "  ");
  EXPECT_EQ(out.str(),
            "  BROWSER   STATUS  WHERE\n"
            "  édge      ok      /a\n"
            "  chromium          /b\n");
}

}  // namespace
}  // namespace orvix::register_tool
