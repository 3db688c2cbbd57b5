// The Windows child process, driven with the host and cmd.exe as children.
#include "support/child_process.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <chrono>
#include <string>

namespace orvix::platform {
namespace {

using namespace std::chrono_literals;

// Every read in these tests has a generous limit, so a fault hangs no run.
constexpr auto kLimit = std::chrono::milliseconds(20s);

const std::string kHost = std::string(ORVIX_BINARY_DIR) + "/orvix-chrome-native-host.exe";

ChildProcess start(std::vector<std::string> argv, bool pipe_stderr = false) {
  ChildOptions options;
  options.argv = std::move(argv);
  options.pipe_stderr = pipe_stderr;
  auto child = ChildProcess::spawn(options);
  EXPECT_TRUE(child) << (child ? "" : child.error().text);
  return std::move(*child);
}

ChildProcess shell(const std::string& command, bool pipe_stderr = false) {
  return start({"cmd.exe", "/d", "/c", command}, pipe_stderr);
}

TEST(ChildProcess, RelaysBinaryFramesBothWays) {
  // The host reads raw bytes: a text-mode pipe would stop at the 0x1A of the
  // length or turn the LF into CRLF.
  ChildProcess host = start({kHost, "ignored argument with \"quotes\" and spaces\\"});
  const std::string body = "{\"id\":1,\n\"method\":\"x\"\r\n  }";
  ASSERT_EQ(body.size(), 0x1Au);
  std::string frame(4, '\0');
  frame[0] = static_cast<char>(body.size());
  ASSERT_TRUE(host.write_all(frame + body));
  std::array<char, 4> prefix{};
  auto got = host.read_exact(prefix, kLimit);
  ASSERT_TRUE(got);
  ASSERT_EQ(*got, 4u);
  std::string reply(static_cast<unsigned char>(prefix[0]), '\0');
  ASSERT_TRUE(host.read_exact(reply, kLimit));
  EXPECT_NE(reply.find("\"id\":1,"), std::string::npos) << reply;

  host.close_stdin();
  auto rest = host.read_stdout_to_end(kLimit);
  ASSERT_TRUE(rest);
  EXPECT_EQ(*rest, "");
  auto status = host.wait();
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->success());
}

TEST(ChildProcess, ReadExactStopsShortAtEndOfOutput) {
  ChildProcess child = shell("echo abc");
  std::array<char, 8> buffer{};
  auto got = child.read_exact(buffer, kLimit);
  ASSERT_TRUE(got);
  EXPECT_EQ(std::string(buffer.data(), *got), "abc\r\n");
  ASSERT_TRUE(child.wait());
}

TEST(ChildProcess, ReadGivesUpAfterItsTimeout) {
  // The host waits for input and writes nothing to stdout meanwhile.
  ChildProcess child = start({kHost});
  std::array<char, 1> buffer{};
  auto got = child.read_exact(buffer, 50ms);
  ASSERT_FALSE(got);
  EXPECT_TRUE(got.error().timed_out);
  // The destructor ends the waiting child.
}

TEST(ChildProcess, ReportsTheExitCode) {
  auto exited = shell("exit 7").wait();
  ASSERT_TRUE(exited);
  EXPECT_FALSE(exited->signalled);
  EXPECT_EQ(exited->code, 7);
  EXPECT_EQ(exited->as_shell_status(), 7);
}

TEST(ChildProcess, WritingToAChildThatEndedFailsWithTheSystemText) {
  ChildProcess gone = shell("exit 0");
  ASSERT_TRUE(gone.read_stdout_to_end(kLimit));
  auto written = gone.write_all(std::string(1 << 20, 'x'));
  ASSERT_FALSE(written);
  EXPECT_FALSE(written.error().timed_out);
  EXPECT_NE(written.error().text.find("(os error "), std::string::npos) << written.error().text;
}

TEST(ChildProcess, AppliesEnvironmentOverridesWhateverTheirCase) {
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
  auto output = child->read_stdout_to_end(kLimit);
  ASSERT_TRUE(output);
  // cmd.exe writes in the console code page, so only the ASCII part is compared.
  EXPECT_EQ(output->substr(0, 6), "[set h") << *output;
  EXPECT_NE(output->find("][%ORVIX_CHILD_GONE%]"), std::string::npos) << *output;
  ASSERT_TRUE(child->wait());
}

TEST(ChildProcess, CapturesStderrWhenAsked) {
  ChildProcess child = shell("echo out& echo err>&2", /*pipe_stderr=*/true);
  auto out = child.read_stdout_to_end(kLimit);
  auto err = child.read_stderr_to_end(kLimit);
  ASSERT_TRUE(out && err);
  EXPECT_EQ(*out, "out\r\n");
  EXPECT_EQ(*err, "err\r\n") << *out;
  ASSERT_TRUE(child.wait());
}

TEST(ChildProcess, RunsACommandLineAsWrittenInTheGivenFolder) {
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

TEST(ChildProcess, SpawnFailsWithTheOsTextForAMissingProgram) {
  ChildOptions options;
  options.argv = {"orvix-no-such-program"};
  auto child = ChildProcess::spawn(options);
  ASSERT_FALSE(child);
  EXPECT_NE(child.error().text.find("(os error 2)"), std::string::npos) << child.error().text;

  options.argv.clear();
  EXPECT_FALSE(ChildProcess::spawn(options));
}

}  // namespace
}  // namespace orvix::platform
