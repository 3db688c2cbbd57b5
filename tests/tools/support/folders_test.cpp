#include "support/folders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/scratch_directory.h"

namespace orvix::support {
namespace {

namespace fs = std::filesystem;

using Folders = platform::ScratchDirectory;

// UTF-8 text as the tools hold it: on Windows a plain string would go through
// the ANSI code page, which cannot hold these letters.
const std::string kName = "Profil \xC3\xA9t\xC3\xA9 \xE2\x82\xAC";

fs::path u8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

TEST_F(Folders, EntriesAndNamesAreUtf8TextBothWays) {
  const std::string folder = path("") + kName;
  fs::create_directories(u8(folder));
  write(path("plain"), "x");
  auto names = folder_entries(path(""));
  ASSERT_TRUE(names);
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{kName, "plain"}));
  EXPECT_EQ(file_name(folder), kName);
  EXPECT_TRUE(is_real_folder(folder));
  EXPECT_FALSE(is_real_folder(path("plain")));
  EXPECT_FALSE(access_refused(folder));
  EXPECT_FALSE(folder_entries(path("missing")));

  // Only an empty folder is removed.
  std::ofstream(u8(folder) / "inside") << "x";
  EXPECT_FALSE(remove_empty_folder(folder));
  fs::remove(u8(folder) / "inside");
  EXPECT_TRUE(remove_empty_folder(folder));
  EXPECT_FALSE(is_real_folder(folder));
}

}  // namespace
}  // namespace orvix::support
