// The runtime connection descriptor as text: the reader the host uses and
// the writer a runtime uses, both walking one table of the five fields.
//
// The reader accepts an object with the five members (any order; other
// members skipped; a repeated member is an error) or an array of exactly
// five values in field order. Integers must be JSON integers within the
// field's range. A failure (kind kInvalidInput) is described as
// "<what> at line L column C", e.g.
//   missing field `wsUrl` at line 1 column 60
//   invalid type: string "12", expected u32 at line 1 column 28
//   invalid value: integer `-1`, expected u32 at line 1 column 9
//   invalid length 3, expected struct RuntimeConnectionDescriptor with 5 elements ...
//
// The writer gives the compact object form, members in ascending order of
// their names:
//   {"pid":P,"protocolVersion":V,"runtimeVersion":"R","updatedAt":T,"wsUrl":"U"}
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::discovery {

struct RuntimeConnectionDescriptor {
  std::uint32_t protocol_version = 0;
  std::uint32_t pid = 0;
  std::string runtime_version;
  std::string ws_url;
  std::uint64_t updated_at = 0;
};

[[nodiscard]] Result<RuntimeConnectionDescriptor> read_descriptor(std::string_view text);

std::string write_descriptor(const RuntimeConnectionDescriptor& descriptor);

}  // namespace orvix::discovery
