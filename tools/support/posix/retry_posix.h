// System calls made again when a signal interrupts them (EINTR). A signal
// handler, a stopped-and-continued process or a tracer can interrupt any
// call that may wait; the call has then done nothing, and failing the
// command for it would only make the user run it again.
#pragma once

#include <cerrno>

namespace orvix::support::posix {

// `call()` until it returns anything but -1 with errno EINTR.
template <typename Call>
auto retry_interrupted(Call call) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace orvix::support::posix
