// IDNA through the system's IdnToAscii and IdnToUnicode (normaliz).
//
// IdnToAscii implements the older IDNA2003 processing. Where the result
// differs from UTS #46 with the browser parameters (tests/url/win32 lists
// the URL conformance cases this changes):
// - Transitional mapping: "ß" becomes "ss", final sigma becomes sigma, and
//   zero-width joiners are dropped instead of checked, so such names succeed
//   with another result where UTS #46 keeps the letter or refuses the name.
// - Labels that are already "xn--" are passed through unchecked; here each
//   one is decoded with IdnToUnicode and must encode back to itself and hold
//   a non-ASCII character, which refuses broken Punycode ("xn--a", "xn--")
//   and labels IdnToAscii refuses, as UTS #46 does.
// - Under Wine, no bidi rule is checked: "xn--a-0hc" (Latin a, Hebrew alef)
//   is accepted where UTS #46 and libidn2 refuse it.
// - All-ASCII input is returned as it came, so the lower-casing is done here.
// - IDN_USE_STD3_ASCII_RULES would refuse ordinary names, so it is not set;
//   the URL parser checks for forbidden code points itself.
// - Unassigned code points are refused (no IDN_ALLOW_UNASSIGNED), as UTS #46
//   refuses them; Unicode versions differ between systems, so the edge moves.
#include "platform/idna.h"

#include <windows.h>

#include "platform/os_error.h"
#include "platform/win32/wide_text.h"

namespace orvix::platform {

namespace {

Failure refused(std::string reason) { return Failure(Failure::Kind::kInvalidInput, std::move(reason)); }

// One IdnToAscii or IdnToUnicode call, sized in two steps.
template <class Convert>
Result<std::wstring> convert(Convert function, std::wstring_view input) {
  const int length = static_cast<int>(input.size());
  const int size = function(0, input.data(), length, nullptr, 0);
  if (size <= 0) return refused(last_os_error().text);
  std::wstring output(static_cast<std::size_t>(size), L'\0');
  const int written = function(0, input.data(), length, output.data(), size);
  if (written <= 0) return refused(last_os_error().text);
  output.resize(static_cast<std::size_t>(written));
  return output;
}

wchar_t ascii_lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool has_ace_prefix(std::wstring_view label) {
  return label.size() >= 4 && ascii_lower(label[0]) == L'x' && ascii_lower(label[1]) == L'n' && label[2] == L'-' &&
         label[3] == L'-';
}

bool equal_ignoring_ascii_case(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

// An "xn--" label must be the encoding of a valid non-ASCII label.
bool is_valid_ace_label(std::wstring_view label) {
  auto decoded = convert(IdnToUnicode, label);
  if (!decoded || decoded->empty()) return false;
  bool non_ascii = false;
  for (const wchar_t c : *decoded) non_ascii = non_ascii || c >= 0x80;
  if (!non_ascii) return false;
  auto encoded = convert(IdnToAscii, *decoded);
  return encoded && equal_ignoring_ascii_case(*encoded, label);
}

}  // namespace

Result<std::string> unicode_domain_to_ascii(std::string_view utf8_domain) {
  if (utf8_domain.empty()) return std::string();
  if (utf8_domain.find('\0') != std::string_view::npos) return refused("domain contains NUL");
  auto output = convert(IdnToAscii, win32::widen(utf8_domain));
  if (!output) return output.error();

  std::string ascii;
  ascii.reserve(output->size());
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = output->find(L'.', start);
    const std::wstring_view label = std::wstring_view(*output).substr(start, dot - start);
    if (has_ace_prefix(label) && !is_valid_ace_label(label)) return refused("invalid Punycode label");
    for (const wchar_t c : label) {
      if (c >= 0x80) return refused("IdnToAscii returned a non-ASCII character");
      ascii.push_back(static_cast<char>(ascii_lower(c)));
    }
    if (dot == std::wstring::npos) break;
    ascii.push_back('.');
    start = dot + 1;
  }
  return ascii;
}

}  // namespace orvix::platform
