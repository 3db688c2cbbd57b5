#include "support/test_pipe.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace orvix::testing {

namespace {
HANDLE as_handle(platform::StreamHandle handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

TestPipe::TestPipe() {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  // Room for the largest test input, so writes never wait for the reader.
  EXPECT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 1 << 20));
  read_ = reinterpret_cast<platform::StreamHandle>(read_end);
  write_ = reinterpret_cast<platform::StreamHandle>(write_end);
}

TestPipe::~TestPipe() {
  close_write();
  if (read_ != -1) CloseHandle(as_handle(read_));
}

void TestPipe::write(std::string_view bytes) {
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(as_handle(write_), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  ASSERT_EQ(written, bytes.size());
}

void TestPipe::close_write() {
  if (write_ != -1) CloseHandle(as_handle(write_));
  write_ = -1;
}

}  // namespace orvix::testing
