#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_calls.h"
#include "platform/scratch_directory.h"

namespace orvix::platform {
namespace {

using Kind = FileError::Kind;
using ReadRegularFile = ScratchDirectory;
using AppendToRegularFile = ScratchDirectory;

TEST_F(ReadRegularFile, ReadsWholeFilesUpToTheLimit) {
  const std::string file = path("connection.json");
  write(file, "0123456789");
  auto read = read_regular_file(file, 10);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, "0123456789");
  auto over = read_regular_file(file, 9);
  ASSERT_FALSE(over);
  EXPECT_EQ(over.error().kind, Kind::kTooLarge);
  write(file, "");
  auto empty = read_regular_file(file, 0);
  ASSERT_TRUE(empty);
  EXPECT_EQ(*empty, "");
}

TEST_F(ReadRegularFile, TellsAbsenceFromOtherFailures) {
  write(path("file"), "x");
  for (const char* missing : {"missing", "missing/connection.json", "file/connection.json"}) {
    auto read = read_regular_file(path(missing), 100);
    ASSERT_FALSE(read) << missing;
    EXPECT_EQ(read.error().kind, Kind::kNotFound) << missing;
    EXPECT_NE(read.error().os.code, 0) << missing;
  }
  // A directory: the system's word for it.
  auto directory = read_regular_file(directory_.string(), 100);
  ASSERT_FALSE(directory);
  EXPECT_EQ(directory.error().kind, Kind::kOsError);
  EXPECT_NE(directory.error().os.code, 0);
}

// Files whose size the system does not know in advance (Linux's /proc) are
// read in growing steps, still never past the limit.
TEST_F(ReadRegularFile, StopsPastTheLimitWhenTheSizeIsNotKnownInAdvance) {
  const std::string status = "/proc/self/status";
  if (!std::filesystem::exists(status) || std::filesystem::file_size(status) != 0) {
    GTEST_SKIP() << "no file of unknown size here";
  }
  auto whole = read_regular_file(status, 1 << 20);
  ASSERT_TRUE(whole);
  EXPECT_TRUE(whole->starts_with("Name:")) << *whole;
  auto capped = read_regular_file(status, 10);
  ASSERT_FALSE(capped);
  EXPECT_EQ(capped.error().kind, Kind::kTooLarge);
}

TEST_F(AppendToRegularFile, CreatesTheFileButNotItsDirectory) {
  const std::string log = path("logs/host.log");
  auto missing = append_line_to_regular_file(log, "a\n");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().kind, Kind::kNotFound);
  std::filesystem::create_directories(path("logs"));
  ASSERT_TRUE(append_line_to_regular_file(log, "a\n"));
  ASSERT_TRUE(append_line_to_regular_file(log, "b\n"));
  EXPECT_EQ(content_of(log), "a\nb\n");
  auto directory = append_line_to_regular_file(path("logs"), "c\n");
  ASSERT_FALSE(directory);
  EXPECT_EQ(directory.error().kind, Kind::kOsError);
}

// A full disk may cut a line short; the next line must not be glued to it.
TEST_F(AppendToRegularFile, StartsTheLineAfterALineCutShort) {
  const std::string log = path("host.log");
  write(log, "");
  ASSERT_TRUE(append_line_to_regular_file(log, "a\n"));
  EXPECT_EQ(content_of(log), "a\n");  // an empty file needs no line feed first
  write(log, "a\nb is cut sh");
  ASSERT_TRUE(append_line_to_regular_file(log, "c\n"));
  ASSERT_TRUE(append_line_to_regular_file(log, "d\n"));
  EXPECT_EQ(content_of(log), "a\nb is cut sh\nc\nd\n");
}

// Lines in a row skip the look at the end only while the file is the one the
// last line went to and ends where that line ended: a file put in its place,
// even of the same size, or the same file grown by another writer, is looked
// at again.
TEST_F(AppendToRegularFile, AFileReplacedOrGrownSinceTheLastLineIsLookedAtAgain) {
  const std::string log = path("host.log");
  ASSERT_TRUE(append_line_to_regular_file(log, "a\n"));
  write(path("other"), "ab");  // as long as the log, cut short
  std::filesystem::rename(path("other"), log);
  ASSERT_TRUE(append_line_to_regular_file(log, "c\n"));
  EXPECT_EQ(content_of(log), "ab\nc\n");

  ASSERT_TRUE(append_line_to_regular_file(log, "d\n"));
  {
    std::ofstream other_writer(log, std::ios::binary | std::ios::app);
    other_writer << "e is cut";
  }
  ASSERT_TRUE(append_line_to_regular_file(log, "f\n"));
  EXPECT_EQ(content_of(log), "ab\nc\nd\ne is cut\nf\n");
}

// Appends hold a lock across their look at the end and their write. It keeps
// other appends out and no reader; one that is never let go delays a line by
// a bounded wait and never loses it.
TEST_F(AppendToRegularFile, TheLockKeepsOtherAppendsOutAndAHeldOneLosesNoLine) {
  using file_calls::AppendLock;
  const std::string log = path("host.log");
  write(log, "a\nb is cut sh");
  auto other = file_calls::open_regular(log, file_calls::Access::kAppendAndRead);
  ASSERT_TRUE(other);
  {
    auto holder = file_calls::open_regular(log, file_calls::Access::kAppendAndRead);
    ASSERT_TRUE(holder);
    ASSERT_EQ(file_calls::try_lock_appends(holder->handle), AppendLock::kTaken);
    EXPECT_EQ(file_calls::try_lock_appends(other->handle), AppendLock::kBusy);
    EXPECT_EQ(content_of(log), "a\nb is cut sh");
    ASSERT_TRUE(append_line_to_regular_file(log, "c\n"));
    EXPECT_EQ(content_of(log), "a\nb is cut sh\nc\n");
    file_calls::unlock_appends(holder->handle);
  }
  EXPECT_EQ(file_calls::try_lock_appends(other->handle), AppendLock::kTaken);
}

}  // namespace
}  // namespace orvix::platform
