// IDNA through the system's IdnToAscii (normaliz).
//
// Where IdnToAscii differs from UTS #46 with the browser parameters (the URL
// conformance data in tests/url shows which cases; see the README):
// - It follows the older transitional rules: "ß" becomes "ss" and final
//   sigma becomes sigma, and zero-width joiners are dropped rather than
//   checked, so such names succeed with another result instead of failing
//   or keeping the letter.
// - All-ASCII input is returned as it came, so the lower-casing is done here.
// - IDN_USE_STD3_ASCII_RULES would refuse ordinary names, so it is not set;
//   the caller checks for forbidden code points itself.
#include "platform/idna.h"

#include <windows.h>

#include "platform/os_error.h"
#include "platform/win32/wide_text.h"

namespace orvix::platform {

boost::system::result<std::string, IdnaError> unicode_domain_to_ascii(std::string_view utf8_domain) {
  using Result = boost::system::result<std::string, IdnaError>;
  if (utf8_domain.empty()) return Result(boost::system::in_place_value);
  if (utf8_domain.find('\0') != std::string_view::npos) return IdnaError{"domain contains NUL"};
  const std::wstring input = win32::widen(utf8_domain);
  const int input_length = static_cast<int>(input.size());
  const int size = IdnToAscii(0, input.data(), input_length, nullptr, 0);
  if (size <= 0) return IdnaError{last_os_error().text};
  std::wstring output(static_cast<std::size_t>(size), L'\0');
  const int written = IdnToAscii(0, input.data(), input_length, output.data(), size);
  if (written <= 0) return IdnaError{last_os_error().text};
  output.resize(static_cast<std::size_t>(written));

  std::string ascii;
  ascii.reserve(output.size());
  for (const wchar_t c : output) {
    if (c >= 0x80) return IdnaError{"IdnToAscii returned a non-ASCII character"};
    ascii.push_back(static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c));
  }
  return Result(boost::system::in_place_value, std::move(ascii));
}

}  // namespace orvix::platform
