// The URL parser. Property: a URL that parses serialises (href) to text that
// parses back to an equal URL, whose href is the same text again. A refusal
// has a description.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "url/url.h"

using orvix::fuzz::require;
namespace url = orvix::url;

namespace {

bool same(const url::Url& a, const url::Url& b) {
  return a.scheme == b.scheme && a.username == b.username && a.password == b.password && a.host == b.host &&
         a.port == b.port && a.path == b.path && a.query == b.query && a.fragment == b.fragment;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto parsed = url::parse_url(input);
  if (!parsed) {
    require(!parsed.error().text.empty(), "a refusal says why", input);
    return 0;
  }
  const std::string href = parsed->href();
  const auto again = url::parse_url(href);
  require(again.has_value(), "href parses", href, again ? "" : again.error().text);
  require(same(*again, *parsed), "href parses to an equal URL", href, again->href());
  require(again->href() == href, "href is a fixed point", href, again->href());
  return 0;
}
