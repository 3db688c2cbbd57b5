// A real anonymous pipe for tests that read through platform stream handles:
// the test fills the write end, the code under test reads the read end.
#pragma once

#include <string_view>

#include "platform/std_streams.h"

namespace orvix::testing {

class TestPipe {
 public:
  TestPipe();
  ~TestPipe();
  TestPipe(const TestPipe&) = delete;
  TestPipe& operator=(const TestPipe&) = delete;

  // Writes every byte (the pipe must have room for them) or fails the test.
  void write(std::string_view bytes);
  // Ends the input the reader sees. Idempotent.
  void close_write();
  platform::StreamHandle read_end() const { return read_; }

 private:
  platform::StreamHandle read_ = -1;
  platform::StreamHandle write_ = -1;
};

}  // namespace orvix::testing
