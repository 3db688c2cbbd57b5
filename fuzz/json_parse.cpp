// The JSON reader. Properties:
//   - Boost's path (parse_json) and the tokenizer (find_first_fault) accept
//     and refuse the same texts, and name a refused text's fault alike;
//   - the arena overload gives the same value as the default one;
//   - an accepted value serialises to JSON that reads back as the same value,
//     and serialising that gives the same text again.

#include <boost/json/monotonic_resource.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "json/tokenizer.h"

using orvix::fuzz::require;
namespace json = orvix::json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto parsed = json::parse_json(text);
  const auto fault = json::find_first_fault(text, json::kMaxDepth);
  require(parsed.has_value() != fault.has_value(), "parse_json and the tokenizer agree on accepting",
          parsed ? "parse_json: accepted" : parsed.error().text, fault ? fault->description() : "tokenizer: accepted");

  boost::json::monotonic_resource arena;
  const auto in_arena = json::parse_json(text, &arena);
  require(in_arena.has_value() == parsed.has_value(), "the arena overload accepts alike");

  if (!parsed) {
    require(parsed.error().text == fault->description(), "both name the same fault", parsed.error().text,
            fault->description());
    require(in_arena.error().text == parsed.error().text, "the arena overload names it alike");
    return 0;
  }

  const std::string written = json::to_compact_string(*parsed);
  require(json::to_compact_string(*in_arena) == written, "the arena overload reads the same value");
  const auto again = json::parse_json(written);
  require(again.has_value(), "serialised JSON parses", written, again ? "" : again.error().text);
  require(*again == *parsed, "serialised JSON reads as the same value", written);
  require(json::to_compact_string(*again) == written, "serialising is a fixed point", written,
          json::to_compact_string(*again));
  return 0;
}
