#include "support/test_pipe.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace orvix::testing {

TestPipe::TestPipe() {
  int fds[2] = {-1, -1};
  EXPECT_EQ(::pipe(fds), 0);
  read_ = fds[0];
  write_ = fds[1];
}

TestPipe::~TestPipe() {
  close_write();
  if (read_ >= 0) ::close(static_cast<int>(read_));
}

void TestPipe::write(std::string_view bytes) {
  ASSERT_EQ(::write(static_cast<int>(write_), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void TestPipe::close_write() {
  if (write_ >= 0) ::close(static_cast<int>(write_));
  write_ = -1;
}

}  // namespace orvix::testing
