// The one owner of an open file, pipe or process handle of this process: a
// POSIX descriptor or a Win32 HANDLE, held as a number so that code shared
// by both platforms can pass it on. Closed when the owner goes (errors
// ignored there); close() closes at once and reports what the system says,
// for writes whose failure shows only then. Move-only. Sockets have their
// owner in TcpSocket (Windows closes them with a call of their own).
#pragma once

#include <cstdint>
#include <utility>

#include "base/result.h"
#include "platform/os_error.h"

namespace orvix::platform {

class OwnedHandle {
 public:
  // -1 is both the POSIX invalid descriptor and Windows' INVALID_HANDLE_VALUE.
  static constexpr std::intptr_t kNone = -1;

  OwnedHandle() = default;
  explicit OwnedHandle(std::intptr_t handle) : handle_(handle) {}
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.release();
    }
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { reset(); }

  std::intptr_t get() const { return handle_; }
  bool is_open() const { return handle_ != kNone; }

  // Gives the handle up without closing it.
  std::intptr_t release() { return std::exchange(handle_, kNone); }

  // Closes the handle, if any; the owner is empty afterwards either way.
  void reset() { (void)close(); }
  [[nodiscard]] Result<void, OsError> close();

 private:
  std::intptr_t handle_ = kNone;
};

}  // namespace orvix::platform
