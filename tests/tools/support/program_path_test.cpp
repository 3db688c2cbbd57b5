#include "support/program_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace orvix::support {
namespace {

namespace fs = std::filesystem;

TEST(AbsolutePath, JoinsTheCurrentDirectoryAndDropsDotsLexically) {
  const std::string here = fs::current_path().string();
  EXPECT_EQ(*absolute_path("host"), (fs::current_path() / "host").string());
  EXPECT_EQ(*absolute_path("./a/../b//c/."), (fs::current_path() / "b" / "c").string());
  EXPECT_EQ(*absolute_path(here), here);
  EXPECT_TRUE(is_absolute_path(*absolute_path("x")));
  EXPECT_FALSE(is_absolute_path("relative/x"));
  EXPECT_FALSE(is_absolute_path(""));
}

TEST(ExecutableFile, OnlyRegularFilesThisUserMayRun) {
  const fs::path directory = fs::temp_directory_path() / "orvix-program-path-test";
  fs::remove_all(directory);
  fs::create_directories(directory);
  const fs::path plain = directory / "plain";
  std::ofstream(plain) << "text";
  const std::string self = own_executable_path("");

  EXPECT_TRUE(is_executable_file(self));
  EXPECT_FALSE(is_executable_file(directory.string()));
  EXPECT_FALSE(is_executable_file((directory / "missing").string()));
  EXPECT_TRUE(is_directory(directory.string()));
  EXPECT_FALSE(is_directory(self));
  fs::remove_all(directory);
}

TEST(OwnExecutablePath, NamesThisTestProgram) {
  const std::string self = own_executable_path("ignored-when-the-system-knows");
  ASSERT_TRUE(is_absolute_path(self)) << self;
  EXPECT_EQ(fs::path(self).filename().string().rfind("unit_tests", 0), 0u) << self;
}

}  // namespace
}  // namespace orvix::support
