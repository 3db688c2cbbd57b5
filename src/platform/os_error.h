// Operating-system failures as values.
//
// Every OS error code is turned into text in exactly one place per platform
// (os_error_posix.cpp / os_error_win32.cpp): the system's message for the code,
// then " (os error N)". Nothing outside src/platform reads errno or GetLastError().
#pragma once

#include <string>

namespace orvix::platform {

struct OsError {
  // Not an aggregate: a result<std::size_t, OsError> must not take a number
  // for an error.
  OsError() = default;
  OsError(int error_code, std::string error_text) : code(error_code), text(std::move(error_text)) {}

  int code = 0;
  std::string text;  // "<system message> (os error <code>)"
};

// The error for a given system error code.
OsError os_error_from_code(int code);

// The error the last failed system call of this thread left behind.
OsError last_os_error();

// The system's error for memory running out (ENOMEM, ERROR_NOT_ENOUGH_MEMORY):
// what a caller that caught std::bad_alloc reports.
OsError out_of_memory_error();

}  // namespace orvix::platform
