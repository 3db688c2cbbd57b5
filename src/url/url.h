// Parsing a URL string the way browsers do (the WHATWG URL Standard's basic
// URL parser, without a base URL) and serialising it back.
//
// parse_url takes UTF-8 text; on success every part of the Url is already in
// its serialised form (lower-cased scheme, percent-encoded credentials, path,
// query and fragment, the host as ASCII). A failure (kind kInvalidInput) has
// a short lower-case text that can be shown to users as it stands (see
// url_errors.h for the texts). Pure computation: no I/O, no name resolution.
//
// One concept, two halves: parse_url is defined in url_parser.cpp and the
// href serialiser in url_serializer.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::url {

struct Url {
  std::string scheme;  // lower-cased, without ':'
  std::string username, password;
  // Domain (ASCII, lower case), dotted IPv4, "[v6]", opaque host or "" (the
  // empty host); nullopt when the URL has no authority.
  std::optional<std::string> host;
  // nullopt when absent or equal to the scheme's default port.
  std::optional<std::uint16_t> port;
  std::string path;                            // serialised path: "/a/b" or an opaque path like "text/plain,x"
  std::optional<std::string> query, fragment;  // without '?' / '#'

  // The whole URL as text; parse_url(u.href()) gives back an equal Url.
  std::string href() const;
};

[[nodiscard]] Result<Url> parse_url(std::string_view input);

}  // namespace orvix::url
