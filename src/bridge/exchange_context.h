// The Asio context under every WebSocket exchange of the process. Nothing
// ever runs on it: the WebSocket stream asks its lower layer for an executor
// and makes a timer from it that no synchronous call arms.
//
// One context for the process, made on first use together with the timer
// machinery behind it (on Linux an epoll instance, an eventfd and a timerfd),
// because making them costs three descriptors and their system calls per
// exchange. When the system refuses one of them (descriptors or kernel memory
// exhausted), exchange_context() returns connect_failed with the system's
// text, keeps nothing half made, and tries again at the next call. Once it
// has succeeded it returns the same context, at the cost of one test, for
// the life of the process.
//
// Why the machinery is made ahead of the stream: the WebSocket stream
// registers itself with the context before it makes its timer and stays
// registered when making the timer throws, so a stream whose timer failed
// would leave the context pointing at freed memory until the process ends.
// A stream made on a context returned here never has to make that machinery.
//
// Only src/bridge includes this header; the host runs it on its one thread.
#pragma once

#include <boost/asio/io_context.hpp>

#include "base/result.h"
#include "bridge/runtime_error.h"

namespace orvix::bridge {

[[nodiscard]] Result<boost::asio::io_context*, RuntimeError> exchange_context();

}  // namespace orvix::bridge
