// The narrow byte interfaces the native channel reads from and writes to.
// The host binds them to its standard streams; tests bind them to pipes or
// to sources that fail on demand.
#pragma once

#include <cstddef>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::host {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `size` bytes; 0 at the end of input.
  [[nodiscard]] virtual Result<std::size_t, platform::OsError> read_some(char* buffer, std::size_t size) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // All bytes or an error; `written` tells how many went out before an error.
  [[nodiscard]] virtual Result<void, platform::OsError> write_all(const char* data, std::size_t size,
                                                                  std::size_t& written) = 0;
  [[nodiscard]] virtual Result<void, platform::OsError> flush() = 0;
};

}  // namespace orvix::host
