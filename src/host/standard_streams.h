// The native channel's byte source and sink bound to the process's guarded
// standard streams (platform/std_streams.h).
#pragma once

#include "host/byte_stream.h"
#include "platform/std_streams.h"

namespace orvix::host {

class StreamSource final : public ByteSource {
 public:
  explicit StreamSource(platform::StreamHandle handle) : handle_(handle) {}
  Result<std::size_t, platform::OsError> read_some(char* buffer, std::size_t size) override {
    return platform::read_stream(handle_, buffer, size);
  }

 private:
  platform::StreamHandle handle_;
};

class StreamSink final : public ByteSink {
 public:
  explicit StreamSink(platform::StreamHandle handle) : handle_(handle) {}
  Result<void, platform::OsError> write_all(const char* data, std::size_t size, std::size_t& written) override {
    return platform::write_stream(handle_, data, size, written);
  }
  Result<void, platform::OsError> flush() override { return platform::flush_stream(handle_); }

 private:
  platform::StreamHandle handle_;
};

}  // namespace orvix::host
