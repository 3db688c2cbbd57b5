#include "support/child_process.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>

namespace orvix::platform {
namespace {

using namespace std::chrono_literals;

// Every read in these tests has a generous limit, so a fault hangs no run.
constexpr auto kLimit = std::chrono::milliseconds(20s);

ChildProcess start(std::vector<std::string> argv, bool pipe_stderr = false) {
  ChildOptions options;
  options.argv = std::move(argv);
  options.pipe_stderr = pipe_stderr;
  auto child = ChildProcess::spawn(options);
  EXPECT_TRUE(child) << (child ? "" : child.error().text);
  return std::move(*child);
}

ChildProcess shell(const std::string& script, bool pipe_stderr = false) {
  return start({"/bin/sh", "-c", script}, pipe_stderr);
}

TEST(ChildProcess, RelaysBytesBothWays) {
  ChildProcess cat = start({"cat"});
  ASSERT_TRUE(cat.write_all(std::string("\0\x01frame\xff", 8)));
  std::array<char, 8> echoed{};
  auto got = cat.read_exact(echoed, kLimit);
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, 8u);
  EXPECT_EQ(std::string(echoed.data(), 8), std::string("\0\x01frame\xff", 8));

  cat.close_stdin();
  auto rest = cat.read_stdout_to_end(kLimit);
  ASSERT_TRUE(rest);
  EXPECT_EQ(*rest, "");
  auto status = cat.wait();
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->success());
}

TEST(ChildProcess, ReadExactStopsShortAtEndOfOutput) {
  ChildProcess child = shell("printf abc");
  std::array<char, 5> buffer{};
  auto got = child.read_exact(buffer, kLimit);
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, 3u);
  EXPECT_EQ(std::string(buffer.data(), 3), "abc");
  ASSERT_TRUE(child.wait());
}

TEST(ChildProcess, ReadGivesUpAfterItsTimeout) {
  ChildProcess child = start({"sleep", "30"});
  std::array<char, 1> buffer{};
  auto got = child.read_exact(buffer, 50ms);
  ASSERT_FALSE(got);
  EXPECT_TRUE(got.error().timed_out);
  // The destructor ends the sleeping child.
}

TEST(ChildProcess, ReportsExitCodeAndKillingSignal) {
  auto exited = shell("exit 7").wait();
  ASSERT_TRUE(exited);
  EXPECT_FALSE(exited->signalled);
  EXPECT_EQ(exited->code, 7);
  EXPECT_EQ(exited->as_shell_status(), 7);
  EXPECT_FALSE(exited->success());

  auto killed = shell("kill -TERM $$").wait();
  ASSERT_TRUE(killed);
  EXPECT_TRUE(killed->signalled);
  EXPECT_EQ(killed->code, 15);
  EXPECT_EQ(killed->as_shell_status(), 143);
}

TEST(ChildProcess, WritingToAChildThatStoppedReadingFailsWithoutSignal) {
  ChildProcess reader_gone = shell("exec 0<&-; printf ready; sleep 30");
  std::array<char, 5> ready{};
  auto got = reader_gone.read_exact(ready, kLimit);
  ASSERT_TRUE(got);
  ASSERT_EQ(*got, 5u);
  // More than a pipe holds, so the write cannot just sit in the buffer.
  auto written = reader_gone.write_all(std::string(1 << 20, 'x'));
  ASSERT_FALSE(written);
  EXPECT_FALSE(written.error().timed_out);
  EXPECT_NE(written.error().text.find("(os error "), std::string::npos) << written.error().text;
}

TEST(ChildProcess, AppliesEnvironmentOverrides) {
  ChildOptions options;
  options.argv = {"/bin/sh", "-c", "printf '%s|%s' \"$ORVIX_CHILD_TEST\" \"${HOME-unset}\""};
  options.environment = {{"ORVIX_CHILD_TEST", "set here"}, {"HOME", std::nullopt}};
  auto child = ChildProcess::spawn(options);
  ASSERT_TRUE(child);
  auto output = child->read_stdout_to_end(kLimit);
  ASSERT_TRUE(output);
  EXPECT_EQ(*output, "set here|unset");
  ASSERT_TRUE(child->wait());
}

TEST(ChildProcess, CapturesStderrWhenAsked) {
  ChildProcess child = shell("printf out; printf err >&2", /*pipe_stderr=*/true);
  auto out = child.read_stdout_to_end(kLimit);
  auto err = child.read_stderr_to_end(kLimit);
  ASSERT_TRUE(out && err);
  EXPECT_EQ(*out, "out");
  EXPECT_EQ(*err, "err");
  ASSERT_TRUE(child.wait());
}

TEST(ChildProcess, StartsInTheGivenWorkingDirectory) {
  ChildOptions options;
  options.argv = {"/bin/sh", "-c", "pwd"};
  options.working_directory = "/";
  auto child = ChildProcess::spawn(options);
  ASSERT_TRUE(child) << child.error().text;
  auto output = child->read_stdout_to_end(kLimit);
  ASSERT_TRUE(output);
  EXPECT_EQ(*output, "/\n");
  ASSERT_TRUE(child->wait());

  options.working_directory = "/nonexistent/orvix-no-such-folder";
  auto missing = ChildProcess::spawn(options);
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().text.find("(os error 2)"), std::string::npos) << missing.error().text;
}

TEST(ChildProcess, SpawnFailsWithTheOsTextForAMissingProgram) {
  ChildOptions options;
  options.argv = {"/nonexistent/orvix-no-such-program"};
  auto child = ChildProcess::spawn(options);
  ASSERT_FALSE(child);
  EXPECT_NE(child.error().text.find("(os error 2)"), std::string::npos) << child.error().text;

  options.argv.clear();
  EXPECT_FALSE(ChildProcess::spawn(options));
}

}  // namespace
}  // namespace orvix::platform
