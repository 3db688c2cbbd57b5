// The typed reader for the runtime connection descriptor text.
//
// Accepts an object with the five members (any order; other members skipped;
// a repeated member is an error) or an array of exactly five values in field
// order. Integers must be JSON integers within the field's range. A failure
// is described as "<what> at line L column C", e.g.
//   missing field `wsUrl` at line 1 column 60
//   invalid type: string "12", expected u32 at line 1 column 28
//   invalid value: integer `-1`, expected u32 at line 1 column 9
//   invalid length 3, expected struct RuntimeConnectionDescriptor with 5 elements ...
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <boost/system/result.hpp>

namespace orvix::discovery {

struct RuntimeConnectionDescriptor {
  std::uint32_t protocol_version = 0;
  std::uint32_t pid = 0;
  std::string runtime_version;
  std::string ws_url;
  std::uint64_t updated_at = 0;
};

struct DescriptorSyntaxError {
  std::string description;
};

[[nodiscard]] boost::system::result<RuntimeConnectionDescriptor, DescriptorSyntaxError> read_descriptor(
    std::string_view text);

}  // namespace orvix::discovery
