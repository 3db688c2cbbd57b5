// The runtime connection descriptor reader. Properties:
//   - a text it accepts is JSON (parse_json accepts it too), and the fields it
//     read are the values that JSON holds, in the object form or the array form;
//   - a refusal is placed inside the text: "... at line L column C" with L at
//     most the number of lines and C at most the bytes of line L.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "discovery/descriptor_text.h"
#include "fuzz_check.h"
#include "json/parse.h"
#include "json/serialize.h"

using orvix::fuzz::require;
namespace json = orvix::json;
using orvix::discovery::RuntimeConnectionDescriptor;

namespace {

bool is_unsigned(const json::Value* value, std::uint64_t expected) {
  return value != nullptr && value->is_uint64() && value->get_uint64() == expected;
}

bool is_string(const json::Value* value, std::string_view expected) {
  return value != nullptr && value->is_string() && std::string_view(value->get_string()) == expected;
}

bool fields_match(const json::Value& value, const RuntimeConnectionDescriptor& read) {
  const json::Value* fields[5] = {};
  if (const auto* object = value.if_object()) {
    const char* const names[5] = {"protocolVersion", "pid", "runtimeVersion", "wsUrl", "updatedAt"};
    for (int i = 0; i < 5; ++i) fields[i] = object->if_contains(names[i]);
  } else if (const auto* array = value.if_array(); array != nullptr && array->size() == 5) {
    for (int i = 0; i < 5; ++i) fields[i] = &(*array)[i];
  } else {
    return false;
  }
  return is_unsigned(fields[0], read.protocol_version) && is_unsigned(fields[1], read.pid) &&
         is_string(fields[2], read.runtime_version) && is_string(fields[3], read.ws_url) &&
         is_unsigned(fields[4], read.updated_at);
}

std::size_t number_after(std::string_view text, std::string_view label) {
  const std::size_t at = text.rfind(label);
  require(at != std::string_view::npos, "a refusal names its place", text);
  std::size_t n = 0;
  const char* begin = text.data() + at + label.size();
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), n);
  require(error == std::errc{} && end != begin, "the place is a number", text);
  return n;
}

// The bytes of line `line` (counted from 1), or nothing past the last line.
std::optional<std::size_t> line_length(std::string_view text, std::size_t line) {
  std::size_t start = 0;
  for (std::size_t l = 1; l < line; ++l) {
    const std::size_t newline = text.find('\n', start);
    if (newline == std::string_view::npos) return std::nullopt;
    start = newline + 1;
  }
  const std::size_t newline = text.find('\n', start);
  return (newline == std::string_view::npos ? text.size() : newline) - start;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto read = orvix::discovery::read_descriptor(text);
  if (read) {
    const auto parsed = json::parse_json(text);
    require(parsed.has_value(), "an accepted descriptor is JSON", text, parsed ? "" : parsed.error().text);
    require(fields_match(*parsed, *read), "the fields read are the JSON's values", text,
            json::to_compact_string(*parsed));
    return 0;
  }
  const std::string& description = read.error().text;
  const std::size_t line = number_after(description, " at line ");
  const std::size_t column = number_after(description, " column ");
  const auto length = line_length(text, line);
  require(line >= 1 && length.has_value(), "the fault's line is in the text", description);
  require(column <= *length, "the fault's column is in its line", description);
  return 0;
}
