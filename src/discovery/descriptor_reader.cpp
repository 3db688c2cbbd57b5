// The reader walks the text with the JSON tokenizer. Faults come in two
// kinds: those placed where the tokenizer stands when it finds them (syntax,
// a value of the wrong type or out of range), and those about the descriptor
// as a whole (a missing field, a short array, a repeated name). The second
// kind is placed only after the container's end has been looked for: past
// the whitespace that follows, and past the closing bracket when that comes
// next, but never on a byte after that.
//
// A value is read up to its last byte and no further: a number ends at its
// last digit (the byte after it is looked at, not read), so a fault about it
// counts up to that byte.

#include "discovery/descriptor_reader.h"

#include <array>
#include <limits>
#include <variant>

#include "json/number_format.h"
#include "json/parse.h"
#include "json/tokenizer.h"

namespace orvix::discovery {

namespace {

using json::Fault;
using json::Number;
using json::Tokenizer;
namespace fault = json::fault;

constexpr std::string_view kStructName = "struct RuntimeConnectionDescriptor";

// A fault not yet given a place.
struct Unplaced {
  std::string message;
};
using Failure = std::variant<Fault, Unplaced>;

template <class T>
using Step = boost::system::result<T, Failure>;

Fault place(Tokenizer& t, Failure failure) {
  if (auto* placed = std::get_if<Fault>(&failure)) return std::move(*placed);
  return t.error(std::get<Unplaced>(failure).message);
}

// How a string is shown inside a message: quoted, with quotes, backslashes
// and control characters escaped.
std::string quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u{";
          if (c >= 0x10) out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
          out += "}";
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out += "\"";
  return out;
}

std::string describe_number(const Number& n) {
  switch (n.kind) {
    case Number::Kind::kUnsigned: return "integer `" + std::to_string(n.u) + "`";
    case Number::Kind::kSigned: return "integer `" + std::to_string(n.i) + "`";
    case Number::Kind::kDouble: return "floating point `" + json::positional_double(n.d) + "`";
  }
  return {};
}

std::string invalid_type(std::string_view found, std::string_view expected) {
  return "invalid type: " + std::string(found) + ", expected " + std::string(expected);
}

// Reads the value that is not what `expected` wants, to name it; the fault
// sits right after that value (before it, for a container).
Fault wrong_type(Tokenizer& t, std::string_view expected) {
  const auto next = t.peek();
  const char c = next.value_or('\0');
  auto literal = [&](std::string_view rest, std::string_view shown) {
    t.eat();
    if (auto ok = t.literal_rest(rest); !ok) return ok.error();
    return t.error(invalid_type(shown, expected));
  };
  switch (c) {
    case 'n': return literal("ull", "null");
    case 't': return literal("rue", "boolean `true`");
    case 'f': return literal("alse", "boolean `false`");
    case '"': {
      t.eat();
      auto text = t.string_rest();
      if (!text) return text.error();
      return t.error(invalid_type("string " + quoted(*text), expected));
    }
    case '[': return t.error(invalid_type("sequence", expected));
    case '{': return t.error(invalid_type("map", expected));
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        auto number = t.number();
        if (!number) return number.error();
        return t.error(invalid_type(describe_number(*number), expected));
      }
      return t.peek_error(fault::kExpectedValue);
  }
}

// An unsigned integer field no larger than `max`, named `expected` in messages.
Step<std::uint64_t> read_unsigned(Tokenizer& t, std::uint64_t max, std::string_view expected) {
  const auto next = t.peek();
  if (!next) return Failure{t.peek_error(fault::kEofInValue)};
  if (*next != '-' && (*next < '0' || *next > '9')) return Failure{wrong_type(t, expected)};
  auto number = t.number();
  if (!number) return Failure{number.error()};
  std::string problem;
  if (number->kind == Number::Kind::kDouble) {
    problem = invalid_type(describe_number(*number), expected);
  } else if (number->kind == Number::Kind::kSigned || number->u > max) {
    problem = "invalid value: " + describe_number(*number) + ", expected " + std::string(expected);
  } else {
    return number->u;
  }
  return Failure{t.error(problem)};
}

Step<std::string> read_string(Tokenizer& t) {
  const auto next = t.peek();
  if (!next) return Failure{t.peek_error(fault::kEofInValue)};
  if (*next != '"') return Failure{wrong_type(t, "a string")};
  t.eat();
  auto text = t.string_rest();
  if (!text) return Failure{text.error()};
  return {boost::system::in_place_value, std::move(*text)};
}

constexpr std::array<std::string_view, 5> kFields = {"protocolVersion", "pid", "runtimeVersion", "wsUrl",
                                                     "updatedAt"};

// Reads field number `index` into `d`.
Step<void> read_field(Tokenizer& t, std::size_t index, RuntimeConnectionDescriptor& d) {
  constexpr std::uint64_t kU32 = std::numeric_limits<std::uint32_t>::max();
  constexpr std::uint64_t kU64 = std::numeric_limits<std::uint64_t>::max();
  switch (index) {
    case 0:
    case 1: {
      auto value = read_unsigned(t, kU32, "u32");
      if (!value) return value.error();
      (index == 0 ? d.protocol_version : d.pid) = static_cast<std::uint32_t>(*value);
      return {};
    }
    case 2:
    case 3: {
      auto value = read_string(t);
      if (!value) return value.error();
      (index == 2 ? d.runtime_version : d.ws_url) = std::move(*value);
      return {};
    }
    default: {
      auto value = read_unsigned(t, kU64, "u64");
      if (!value) return value.error();
      d.updated_at = *value;
      return {};
    }
  }
}

Step<RuntimeConnectionDescriptor> read_members(Tokenizer& t) {
  RuntimeConnectionDescriptor d;
  std::array<bool, 5> seen{};
  for (bool first = true;; first = false) {
    auto key = t.next_member_name(first);
    if (!key) return Failure{key.error()};
    if (!*key) break;

    std::size_t index = kFields.size();
    for (std::size_t i = 0; i < kFields.size(); ++i) {
      if (**key == kFields[i]) index = i;
    }
    // Checked before the colon is read; placed once the object's end has
    // been looked for, like a missing field.
    if (index < kFields.size() && seen[index]) {
      return Failure{Unplaced{"duplicate field `" + std::string(kFields[index]) + "`"}};
    }
    if (auto colon = t.member_colon(); !colon) return Failure{colon.error()};
    if (index == kFields.size()) {
      // Unknown members are skipped whatever they hold, one container deep already.
      if (auto skipped = json::skip_value(t, json::kMaxDepth - 1); !skipped) return Failure{skipped.error()};
      continue;
    }
    if (auto field = read_field(t, index, d); !field) return field.error();
    seen[index] = true;
  }
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    if (!seen[i]) return Failure{Unplaced{"missing field `" + std::string(kFields[i]) + "`"}};
  }
  return d;
}

Step<RuntimeConnectionDescriptor> read_elements(Tokenizer& t) {
  RuntimeConnectionDescriptor d;
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    auto more = t.next_element(i == 0);
    if (!more) return Failure{more.error()};
    if (!*more) {
      return Failure{Unplaced{"invalid length " + std::to_string(i) + ", expected " + std::string(kStructName) +
                              " with 5 elements"}};
    }
    if (auto field = read_field(t, i, d); !field) return field.error();
  }
  return d;
}

// The closing bracket; it is consumed even when reading the members failed,
// which moves where a field-level fault is placed.
boost::system::result<void, Fault> close_container(Tokenizer& t, char close, std::string_view eof) {
  const auto next = t.peek();
  if (!next) return t.peek_error(eof);
  if (*next == close) {
    t.eat();
    return {};
  }
  if (*next == ',') {
    if (close == '}') return t.peek_error(fault::kTrailingComma);
    t.eat();
    const auto after = t.peek();
    return t.peek_error(after == ']' ? fault::kTrailingComma : fault::kTrailingCharacters);
  }
  return t.peek_error(fault::kTrailingCharacters);
}

boost::system::result<RuntimeConnectionDescriptor, Fault> read_value(Tokenizer& t) {
  const auto next = t.peek();
  if (!next) return t.peek_error(fault::kEofInValue);
  if (*next != '{' && *next != '[') return wrong_type(t, kStructName);
  const bool is_object = *next == '{';
  t.eat();
  auto read = is_object ? read_members(t) : read_elements(t);
  auto closed = is_object ? close_container(t, '}', fault::kEofInObject) : close_container(t, ']', fault::kEofInList);
  if (!read) return place(t, read.error());
  if (!closed) return closed.error();
  return std::move(*read);
}

}  // namespace

boost::system::result<RuntimeConnectionDescriptor, DescriptorSyntaxError> read_descriptor(std::string_view text) {
  Tokenizer t(text);
  auto descriptor = read_value(t);
  if (!descriptor) return DescriptorSyntaxError{descriptor.error().description()};
  if (t.peek()) return DescriptorSyntaxError{t.peek_error(fault::kTrailingCharacters).description()};
  return std::move(*descriptor);
}

}  // namespace orvix::discovery
