// The child-process contract, the same on every system: each case starts a
// real child (the host, or the system's shell through child_commands.h).
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>

#include "tools/support/child_commands.h"

namespace orvix::support {
namespace {

using namespace std::chrono_literals;
using testing::printed;

// Every read in these tests has a generous limit, so a fault hangs no run.
constexpr auto kLimit = std::chrono::milliseconds(20s);

const std::string kHost = std::string(ORVIX_BINARY_DIR) + "/orvix-chrome-native-host";

ChildProcess start(std::vector<std::string> argv, bool pipe_stderr = false) {
  ChildOptions options;
  options.argv = std::move(argv);
  options.pipe_stderr = pipe_stderr;
  auto child = ChildProcess::spawn(options);
  EXPECT_TRUE(child) << (child ? "" : child.error().text);
  return std::move(*child);
}

TEST(ChildProcess, RelaysBinaryFramesBothWays) {
  // The host reads raw bytes: a text-mode pipe would stop at the 0x1A of the
  // length or turn the LF into CRLF. Its arguments are ignored, but must
  // reach it whole (Windows quotes them into one command line).
  ChildProcess host = start({kHost, "ignored argument with \"quotes\" and spaces\\"}, /*pipe_stderr=*/true);
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
  auto again = host.wait();
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().text, "the child was already waited for");
}

TEST(ChildProcess, ReadExactStopsShortAtEndOfOutput) {
  ChildProcess child = start(testing::printing("abc"));
  std::array<char, 8> buffer{};
  auto got = child.read_exact(buffer, kLimit);
  ASSERT_TRUE(got);
  EXPECT_EQ(std::string(buffer.data(), *got), printed("abc"));
  ASSERT_TRUE(child.wait());
}

TEST(ChildProcess, ReadGivesUpAfterItsTimeout) {
  // The host waits for input and writes nothing to stdout meanwhile.
  ChildProcess child = start({kHost}, /*pipe_stderr=*/true);
  std::array<char, 1> buffer{};
  auto got = child.read_exact(buffer, 50ms);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().kind, Failure::Kind::kPeer);
  EXPECT_EQ(got.error().text, "timed out");
  // The destructor ends the waiting child.
}

TEST(ChildProcess, ReportsTheExitCode) {
  auto exited = start(testing::exiting_with(7)).wait();
  ASSERT_TRUE(exited);
  EXPECT_FALSE(exited->signalled);
  EXPECT_EQ(exited->code, 7);
  EXPECT_EQ(exited->as_shell_status(), 7);
  EXPECT_FALSE(exited->success());
}

TEST(ChildProcess, WritingToAChildThatEndedFailsWithTheSystemText) {
  ChildProcess gone = start(testing::exiting_with(0));
  ASSERT_TRUE(gone.read_stdout_to_end(kLimit));
  // More than a pipe holds, so the write cannot just sit in the buffer.
  auto written = gone.write_all(std::string(1 << 20, 'x'));
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind, Failure::Kind::kSystem);
  EXPECT_NE(written.error().text.find("(os error "), std::string::npos) << written.error().text;
  // After close_stdin() there is no pipe left to write to.
  gone.close_stdin();
  auto closed = gone.write_all("x");
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().kind, Failure::Kind::kSystem);
}

TEST(ChildProcess, AppliesEnvironmentOverrides) {
  ChildOptions options;
  options.argv = testing::showing_variables("ORVIX_CHILD_TEST", "HOME");
  options.environment = {{"ORVIX_CHILD_TEST", "set here"}, {"HOME", std::nullopt}};
  auto child = ChildProcess::spawn(options);
  ASSERT_TRUE(child);
  auto output = child->read_stdout_to_end(kLimit);
  ASSERT_TRUE(output);
  EXPECT_EQ(*output, testing::shown_variables("ORVIX_CHILD_TEST", "set here", "HOME"));
  ASSERT_TRUE(child->wait());
}

TEST(ChildProcess, CapturesStderrWhenAsked) {
  ChildProcess child = start(testing::printing_to_both("out", "err"), /*pipe_stderr=*/true);
  auto out = child.read_stdout_to_end(kLimit);
  auto err = child.read_stderr_to_end(kLimit);
  ASSERT_TRUE(out && err);
  EXPECT_EQ(*out, printed("out"));
  EXPECT_EQ(*err, printed("err"));
  ASSERT_TRUE(child.wait());
}

TEST(ChildProcess, SpawnFailsWithTheOsTextForAMissingProgram) {
  ChildOptions options;
  options.argv = {"orvix-no-such-program"};
  auto child = ChildProcess::spawn(options);
  ASSERT_FALSE(child);
  EXPECT_EQ(child.error().kind, Failure::Kind::kSystem);
  EXPECT_NE(child.error().text.find("(os error 2)"), std::string::npos) << child.error().text;

  options.argv.clear();
  auto nothing = ChildProcess::spawn(options);
  ASSERT_FALSE(nothing);
  EXPECT_EQ(nothing.error().kind, Failure::Kind::kInvalidInput);
}

}  // namespace
}  // namespace orvix::support
