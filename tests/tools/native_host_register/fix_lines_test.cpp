#include "native_host_register/doctor/fix_lines.h"

#include <gtest/gtest.h>

namespace orvix::register_tool {
namespace {

// A fix line is run as printed: each path in it must stay one word, taken
// literally, in the shell of its system.
TEST(FixLine, QuotesAPathForTheShellThatRunsIt) {
  Roots posix;
  EXPECT_EQ(quoted_if_needed(posix, "/usr/bin/orvix-native-host-register"), "/usr/bin/orvix-native-host-register");
  EXPECT_EQ(quoted_if_needed(posix, "/opt/Orvix Co/it's $HOME"), R"('/opt/Orvix Co/it'\''s $HOME')");

  Roots windows;
  windows.windows = true;
  EXPECT_EQ(quoted_if_needed(windows, R"(C:\Orvix\host.exe)"), R"(C:\Orvix\host.exe)");
  for (const char* path : {R"(C:\Program Files\Orvix\host.exe)", R"(C:\a&b\host.exe)", R"(C:\a(b)c\host.exe)",
                           R"(C:\a^b\host.exe)", R"(C:\a,b;c=d\host.exe)"}) {
    EXPECT_EQ(quoted_if_needed(windows, path), std::string("\"") + path + "\"");
  }
}

}  // namespace
}  // namespace orvix::register_tool
