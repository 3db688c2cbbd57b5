#include "support/file_replace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/scratch_directory.h"

namespace orvix::support {
namespace {

namespace fs = std::filesystem;

using FileReplace = platform::ScratchDirectory;

TEST_F(FileReplace, CreatesThenReplacesLeavingNoTemporary) {
  const std::string target = path("connection.json");
  ASSERT_TRUE(replace_file(target, "first"));
  EXPECT_EQ(content_of(target), "first");
  ASSERT_TRUE(replace_file(target, "second, longer than the first"));
  EXPECT_EQ(content_of(target), "second, longer than the first");

  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(directory_)) {
    EXPECT_EQ(entry.path().filename(), "connection.json");
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST_F(FileReplace, SharedFileReplacesLikeAnyOther) {
  const std::string target = path("manifest.json");
  ASSERT_TRUE(replace_file(target, "private"));
  ASSERT_TRUE(replace_shared_file(target, "shared"));
  EXPECT_EQ(content_of(target), "shared");
  EXPECT_EQ(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()), 1);
}

TEST_F(FileReplace, FailsInAMissingDirectory) {
  auto written = replace_file(path("missing/connection.json"), "x");
  ASSERT_FALSE(written);
  // ENOENT on POSIX; Windows tells a missing directory (3) from a missing file (2).
  EXPECT_NE(written.error().code, 0);
  EXPECT_TRUE(written.error().text.ends_with(" (os error " + std::to_string(written.error().code) + ")"))
      << written.error().text;
}

TEST_F(FileReplace, RemoveFileRemovesAndReportsAMissingFile) {
  const std::string target = path("connection.json");
  ASSERT_TRUE(replace_file(target, "x"));
  ASSERT_TRUE(remove_file(target));
  EXPECT_FALSE(fs::exists(target));
  auto again = remove_file(target);
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().code, 2);
}

}  // namespace
}  // namespace orvix::support
