// What the Windows platform layer must do that the POSIX one gets for free:
// wide text, its own error texts, replacing a file a reader holds open.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/path.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/filesystem.h"
#include "platform/os_error.h"
#include "support/file_replace.h"

namespace orvix::platform {
namespace {

namespace fs = std::filesystem;

TEST(Win32OsError, SystemTextWithoutLineEndThenTheCode) {
  const OsError missing = os_error_from_code(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing.code, 2);
  EXPECT_TRUE(missing.text.ends_with(" (os error 2)")) << missing.text;
  EXPECT_GT(missing.text.size(), std::string(" (os error 2)").size());
  EXPECT_EQ(missing.text.find_first_of("\r\n"), std::string::npos) << missing.text;
}

TEST(Win32OsError, ACodeWithoutATextStillGetsOne) {
  // No system has a message for this code (Wine has none for 10060 either).
  const OsError unknown = os_error_from_code(0x2000FFFF);
  EXPECT_EQ(unknown.text, "Unknown error (os error " + std::to_string(0x2000FFFF) + ")");
  const OsError timed_out = os_error_from_code(WSAETIMEDOUT);
  EXPECT_TRUE(timed_out.text.ends_with(" (os error 10060)")) << timed_out.text;
  EXPECT_FALSE(timed_out.text.starts_with(" ")) << timed_out.text;
}

TEST(Win32Environment, ValuesAreUtf16Text) {
  ASSERT_TRUE(SetEnvironmentVariableW(L"ORVIX_TEST_VALUE", L"caf\u00e9 \U0001F600"));
  EXPECT_EQ(environment_variable("ORVIX_TEST_VALUE"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
  // Names are case-insensitive on Windows.
  EXPECT_EQ(environment_variable("orvix_test_value"), "caf\xC3\xA9 \xF0\x9F\x98\x80");

  const wchar_t unpaired[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  ASSERT_TRUE(SetEnvironmentVariableW(L"ORVIX_TEST_VALUE", unpaired));
  EXPECT_EQ(environment_variable("ORVIX_TEST_VALUE"), std::nullopt);

  const std::wstring long_value(5000, L'x');
  ASSERT_TRUE(SetEnvironmentVariableW(L"ORVIX_TEST_VALUE", long_value.c_str()));
  EXPECT_EQ(environment_variable("ORVIX_TEST_VALUE"), std::string(5000, 'x'));

  ASSERT_TRUE(SetEnvironmentVariableW(L"ORVIX_TEST_VALUE", nullptr));
  EXPECT_EQ(environment_variable("ORVIX_TEST_VALUE"), std::nullopt);
}

TEST(Win32Path, BackslashJoinsWithoutDoubling) {
  EXPECT_EQ(join_path("D:\\apps\\orvix", "data"), "D:\\apps\\orvix\\data");
  EXPECT_EQ(join_path("D:\\apps\\orvix\\", "data"), "D:\\apps\\orvix\\data");
  EXPECT_EQ(join_path("D:/apps/orvix/", "data"), "D:/apps/orvix/data");
  EXPECT_EQ(join_path("", "data"), "data");
  std::string path = "D:/apps/orvix/";
  append_relative_path(path, "data/runtime/x.json");
  EXPECT_EQ(path, "D:/apps/orvix/data\\runtime\\x.json");
  EXPECT_EQ(parent_path("D:\\apps\\orvix\\logs\\host.log"), "D:\\apps\\orvix\\logs");
}

TEST(Win32Clock, UnixMillisecondsNow) {
  const auto before =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  const auto now = static_cast<long long>(unix_time_ms());
  // Generous: only the epoch and the unit are checked.
  EXPECT_LT(std::llabs(now - before), 60'000);
}

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 (std::string("orvix-win32-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                  std::to_string(GetCurrentProcessId()));
    fs::remove_all(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  // A reader that holds the file open the way the host does.
  static HANDLE open_shared(const fs::path& file) {
    return CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  static std::string read_from(HANDLE file) {
    char buffer[256];
    DWORD got = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    return std::string(buffer, got);
  }

  fs::path directory_;
};

TEST_F(Win32Files, ReplacingAFileAReaderHoldsOpen) {
  // Non-ASCII names go through as UTF-16.
  const fs::path nested = directory_ / u8"d\u00e9j\u00e0" / "runtime";
  create_directories(nested.string());
  ASSERT_TRUE(fs::is_directory(nested));
  const fs::path target = nested / "connection.json";
  ASSERT_TRUE(support::replace_file(target.string(), "first"));

  HANDLE reader = open_shared(target);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  auto replaced = support::replace_file(target.string(), "second");
  EXPECT_TRUE(replaced) << (replaced ? "" : replaced.error().text);
  EXPECT_EQ(read_from(reader), "first");  // the reader keeps what it opened
  CloseHandle(reader);
  auto read = read_regular_file(target.string(), 100);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, "second");
  EXPECT_EQ(std::distance(fs::directory_iterator(nested), fs::directory_iterator()), 1);
}

TEST_F(Win32Files, AppendsWhileAnotherHandleHoldsTheLog) {
  create_directories(directory_.string());
  const std::string log = (directory_ / "host.log").string();
  ASSERT_TRUE(append_line_to_regular_file(log, "one\n"));
  HANDLE reader = open_shared(log);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(append_line_to_regular_file(log, "two\n"));
  EXPECT_EQ(read_from(reader), "one\ntwo\n");
  CloseHandle(reader);
}

TEST_F(Win32Files, ADirectoryIsNoFileToRead) {
  create_directories(directory_.string());
  auto read = read_regular_file(directory_.string(), 100);
  ASSERT_FALSE(read);
  EXPECT_EQ(read.error().os.code, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(read.error().os.text.ends_with(" (os error 5)")) << read.error().os.text;
}

}  // namespace
}  // namespace orvix::platform
