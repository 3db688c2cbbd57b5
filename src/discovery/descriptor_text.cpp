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

#include "discovery/descriptor_text.h"

#include <array>
#include <limits>

#include "json/number_format.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "json/tokenizer.h"
#include "json/value.h"

namespace orvix::discovery {

namespace {

using json::Fault;
using json::Number;
using json::Tokenizer;
namespace fault = json::fault;

constexpr std::string_view kStructName = "struct RuntimeConnectionDescriptor";

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
      if (c == '-' || json::is_digit(c)) {
        auto number = t.number();
        if (!number) return number.error();
        return t.error(invalid_type(describe_number(*number), expected));
      }
      return t.peek_error(fault::kExpectedValue);
  }
}

// An unsigned integer no larger than `max`, named `expected` in messages.
Result<std::uint64_t, Fault> read_unsigned(Tokenizer& t, std::uint64_t max, std::string_view expected) {
  const auto next = t.peek();
  if (!next) return t.peek_error(fault::kEofInValue);
  if (*next != '-' && !json::is_digit(*next)) return wrong_type(t, expected);
  auto number = t.number();
  if (!number) return number.error();
  if (number->kind == Number::Kind::kDouble) return t.error(invalid_type(describe_number(*number), expected));
  if (number->kind == Number::Kind::kSigned || number->u > max) {
    return t.error("invalid value: " + describe_number(*number) + ", expected " + std::string(expected));
  }
  return number->u;
}

Result<void, Fault> read_u32(Tokenizer& t, std::uint32_t& field) {
  auto value = read_unsigned(t, std::numeric_limits<std::uint32_t>::max(), "u32");
  if (!value) return value.error();
  field = static_cast<std::uint32_t>(*value);
  return {};
}

Result<void, Fault> read_u64(Tokenizer& t, std::uint64_t& field) {
  auto value = read_unsigned(t, std::numeric_limits<std::uint64_t>::max(), "u64");
  if (!value) return value.error();
  field = *value;
  return {};
}

Result<void, Fault> read_string(Tokenizer& t, std::string& field) {
  const auto next = t.peek();
  if (!next) return t.peek_error(fault::kEofInValue);
  if (*next != '"') return wrong_type(t, "a string");
  t.eat();
  auto text = t.string_rest();
  if (!text) return text.error();
  field = std::move(*text);
  return {};
}

using Descriptor = RuntimeConnectionDescriptor;

// One row per field, in the order of the array form.
struct Field {
  std::string_view name;
  // Reads the field's value where the tokenizer stands.
  Result<void, Fault> (*read)(Tokenizer&, Descriptor&);
  json::Value (*value)(const Descriptor&);
};

constexpr std::array<Field, 5> kFields = {{
    {"protocolVersion", [](Tokenizer& t, Descriptor& d) { return read_u32(t, d.protocol_version); },
     [](const Descriptor& d) { return json::Value(d.protocol_version); }},
    {"pid", [](Tokenizer& t, Descriptor& d) { return read_u32(t, d.pid); },
     [](const Descriptor& d) { return json::Value(d.pid); }},
    {"runtimeVersion", [](Tokenizer& t, Descriptor& d) { return read_string(t, d.runtime_version); },
     [](const Descriptor& d) { return json::Value(d.runtime_version); }},
    {"wsUrl", [](Tokenizer& t, Descriptor& d) { return read_string(t, d.ws_url); },
     [](const Descriptor& d) { return json::Value(d.ws_url); }},
    {"updatedAt", [](Tokenizer& t, Descriptor& d) { return read_u64(t, d.updated_at); },
     [](const Descriptor& d) { return json::Value(d.updated_at); }},
}};

// A fault about the container as a whole: placed once its end has been
// looked for, past the whitespace that follows and past `close` when that
// comes next.
Fault fault_at_end(Tokenizer& t, char close, std::string message) {
  if (t.peek() == close) t.eat();
  return t.error(message);
}

Result<Descriptor, Fault> read_members(Tokenizer& t) {
  Descriptor d;
  std::array<bool, kFields.size()> seen{};
  for (bool first = true;; first = false) {
    auto key = t.next_member_name(first);
    if (!key) return key.error();
    if (!*key) break;

    std::size_t index = 0;
    while (index < kFields.size() && kFields[index].name != **key) ++index;
    // Checked before the colon is read.
    if (index < kFields.size() && seen[index]) {
      return fault_at_end(t, '}', "duplicate field `" + std::string(kFields[index].name) + "`");
    }
    if (auto colon = t.member_colon(); !colon) return colon.error();
    if (index == kFields.size()) {
      // Unknown members are skipped whatever they hold, one container deep already.
      if (auto skipped = json::skip_value(t, json::kMaxDepth - 1); !skipped) return skipped.error();
      continue;
    }
    if (auto field = kFields[index].read(t, d); !field) return field.error();
    seen[index] = true;
  }
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    if (!seen[i]) return fault_at_end(t, '}', "missing field `" + std::string(kFields[i].name) + "`");
  }
  return d;
}

Result<Descriptor, Fault> read_elements(Tokenizer& t) {
  Descriptor d;
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    auto more = t.next_element(i == 0);
    if (!more) return more.error();
    if (!*more) {
      return fault_at_end(
          t, ']',
          "invalid length " + std::to_string(i) + ", expected " + std::string(kStructName) + " with 5 elements");
    }
    if (auto field = kFields[i].read(t, d); !field) return field.error();
  }
  return d;
}

// The closing bracket after the last field.
Result<void, Fault> close_container(Tokenizer& t, char close, std::string_view eof) {
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

Result<Descriptor, Fault> read_value(Tokenizer& t) {
  const auto next = t.peek();
  if (!next) return t.peek_error(fault::kEofInValue);
  if (*next != '{' && *next != '[') return wrong_type(t, kStructName);
  const bool is_object = *next == '{';
  t.eat();
  auto read = is_object ? read_members(t) : read_elements(t);
  if (!read) return read.error();
  auto closed = is_object ? close_container(t, '}', fault::kEofInObject) : close_container(t, ']', fault::kEofInList);
  if (!closed) return closed.error();
  return std::move(*read);
}

}  // namespace

Result<RuntimeConnectionDescriptor> read_descriptor(std::string_view text) {
  Tokenizer t(text);
  auto descriptor = read_value(t);
  if (!descriptor) return Failure(Failure::Kind::kInvalidInput, descriptor.error().description());
  if (t.peek()) return Failure(Failure::Kind::kInvalidInput, t.peek_error(fault::kTrailingCharacters).description());
  return std::move(*descriptor);
}

std::string write_descriptor(const RuntimeConnectionDescriptor& descriptor) {
  json::Object object;
  for (const Field& field : kFields) object[field.name] = field.value(descriptor);
  return json::to_compact_string(object);
}

}  // namespace orvix::discovery
