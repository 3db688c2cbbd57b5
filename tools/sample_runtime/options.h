// Command-line options of orvix-sample-runtime.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"

namespace orvix::sample_runtime {

inline constexpr const char* kDefaultVersion = "0.9.0-sample";

struct Options {
  std::uint16_t port = 0;  // 0: a free ephemeral port
  std::string version = kDefaultVersion;
  bool help = false;
  bool print_version = false;  // --version alone: print this program's version
};

extern const char* const kUsage;

// Parses the arguments after the program name. Fails with a text for people.
[[nodiscard]] Result<Options> parse_options(const std::vector<std::string>& arguments);

}  // namespace orvix::sample_runtime
