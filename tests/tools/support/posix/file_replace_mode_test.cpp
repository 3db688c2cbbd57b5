#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/file_replace.h"

namespace orvix::support {
namespace {

namespace fs = std::filesystem;

// The published file names the runtime's endpoint: only its owner reads it.
// (On Windows it takes its directory's access control list instead.)
TEST(FileReplaceMode, TheFileIsReadableByItsOwnerOnly) {
  const fs::path directory = fs::temp_directory_path() / ("orvix-file-mode-" + std::to_string(::getpid()));
  fs::create_directories(directory);
  const std::string target = (directory / "connection.json").string();
  ASSERT_TRUE(replace_file(target, "x"));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  fs::remove_all(directory);
}

// A shared file (a system-wide browser manifest) is read by browsers of every
// user, whatever the umask of the process that wrote it.
TEST(FileReplaceMode, ASharedFileIsReadableByEveryone) {
  const fs::path directory = fs::temp_directory_path() / ("orvix-shared-mode-" + std::to_string(::getpid()));
  fs::create_directories(directory);
  const std::string target = (directory / "manifest.json").string();
  const mode_t previous = ::umask(077);
  auto written = replace_shared_file(target, "x");
  ::umask(previous);
  ASSERT_TRUE(written);
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  fs::remove_all(directory);
}

}  // namespace
}  // namespace orvix::support
