#include "bridge/exchange_context.h"

#include <new>
#include <optional>
#include <string>

#include <boost/asio/steady_timer.hpp>
#include <boost/system/system_error.hpp>

#include "platform/os_error.h"

namespace orvix::bridge {

namespace {

// Asio reports a refused system call as a system_error in the system's own
// category, whose code is the platform's error number.
std::string refusal_text(const boost::system::error_code& code) {
  if (code.category() == boost::system::system_category()) return platform::os_error_from_code(code.value()).text;
  return code.message();
}

}  // namespace

Result<boost::asio::io_context*, RuntimeError> exchange_context() {
  static std::optional<boost::asio::io_context> context;
  static bool ready = false;
  if (ready) return &*context;
  try {
    if (!context) context.emplace();
    // A timer's making makes the timer service and the event poller it runs
    // on; they stay with the context once made.
    boost::asio::steady_timer make_machinery(*context);
    ready = true;
    return &*context;
  } catch (const boost::system::system_error& refused) {
    return RuntimeError{RuntimeErrorCode::connect_failed, refusal_text(refused.code())};
  } catch (const std::bad_alloc&) {
    return RuntimeError{RuntimeErrorCode::connect_failed, platform::out_of_memory_error().text};
  }
}

}  // namespace orvix::bridge
