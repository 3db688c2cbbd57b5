// What a child process does on Windows beyond the common contract: variable
// names without regard to case, UTF-16 values, and a command line given as written.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>

#include "support/child_process.h"

namespace orvix::platform {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = std::chrono::milliseconds(20s);

TEST(Win32ChildProcess, AppliesEnvironmentOverridesWhateverTheirCase) {
  ASSERT_TRUE(SetEnvironmentVariableW(L"ORVIX_CHILD_GONE", L"inherited"));
  ASSERT_TRUE(SetEnvironmentVariableW(L"ORVIX_CHILD_TEST", L"inherited"));
  ChildOptions options;
  options.argv = {"cmd.exe", "/d", "/c", "echo [%ORVIX_CHILD_TEST%][%ORVIX_CHILD_GONE%]"};
  // Windows names are case-insensitive: these replace and remove the inherited ones.
  options.environment = {{"orvix_child_test", "set h\xC3\xA9re"}, {"Orvix_Child_Gone", std::nullopt}};
  auto child = ChildProcess::spawn(options);
  SetEnvironmentVariableW(L"ORVIX_CHILD_GONE", nullptr);
  SetEnvironmentVariableW(L"ORVIX_CHILD_TEST", nullptr);
  ASSERT_TRUE(child);
  auto output = child->read_stdout_to_end(std::chrono::milliseconds(20s));
  ASSERT_TRUE(output);
  // cmd.exe writes in the console code page, so only the ASCII part is compared.
  EXPECT_EQ(output->substr(0, 6), "[set h") << *output;
  EXPECT_NE(output->find("][%ORVIX_CHILD_GONE%]"), std::string::npos) << *output;
  ASSERT_TRUE(child->wait());
}

TEST(Win32ChildProcess, RunsACommandLineAsWrittenInTheGivenFolder) {
  ChildOptions options;
  // cmd.exe's /s /c with the whole command between one more pair of quotes:
  // quoting argv word by word cannot give this line.
  options.windows_command_line = R"(cmd.exe /d /s /c "echo "x y"&cd")";
  options.working_directory = "C:\\";
  auto child = ChildProcess::spawn(options);
  ASSERT_TRUE(child) << child.error().text;
  auto output = child->read_stdout_to_end(kLimit);
  ASSERT_TRUE(output);
  EXPECT_EQ(*output, "\"x y\"\r\nC:\\\r\n");
  ASSERT_TRUE(child->wait());
}

}  // namespace
}  // namespace orvix::platform
