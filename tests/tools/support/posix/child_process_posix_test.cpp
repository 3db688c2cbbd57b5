// What a child process does on POSIX beyond the common contract: signals, and
// the working directory (Windows checks it with its own command line).
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>

#include "support/child_process.h"

namespace orvix::support {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = std::chrono::milliseconds(20s);

ChildProcess shell(const std::string& script) {
  ChildOptions options;
  options.argv = {"/bin/sh", "-c", script};
  auto child = ChildProcess::spawn(options);
  EXPECT_TRUE(child) << (child ? "" : child.error().text);
  return std::move(*child);
}

TEST(PosixChildProcess, ReportsTheKillingSignal) {
  auto killed = shell("kill -TERM $$").wait();
  ASSERT_TRUE(killed);
  EXPECT_TRUE(killed->signalled);
  EXPECT_EQ(killed->code, 15);
  EXPECT_EQ(killed->as_shell_status(), 143);
  EXPECT_FALSE(killed->success());
}

// The child lives on but has closed its input: the write fails with EPIPE
// instead of SIGPIPE ending this process.
TEST(PosixChildProcess, WritingToAChildThatStoppedReadingFailsWithoutSignal) {
  ChildProcess reader_gone = shell("exec 0<&-; printf ready; exec sleep 30");
  std::array<char, 5> ready{};
  auto got = reader_gone.read_exact(ready, kLimit);
  ASSERT_TRUE(got);
  ASSERT_EQ(*got, 5u);
  auto written = reader_gone.write_all(std::string(1 << 20, 'x'));
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind, Failure::Kind::kSystem);
  EXPECT_NE(written.error().text.find("(os error 32)"), std::string::npos) << written.error().text;
}

TEST(PosixChildProcess, StartsInTheGivenWorkingDirectory) {
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

}  // namespace
}  // namespace orvix::support
