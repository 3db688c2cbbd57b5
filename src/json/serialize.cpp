#include "json/serialize.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <vector>

#include "json/number_format.h"

namespace orvix::json {

namespace {

// Bytes that cannot stand raw inside a JSON string.
constexpr auto kNeedsEscape = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = true;
  table['"'] = true;
  table['\\'] = true;
  return table;
}();

constexpr bool needs_escape(unsigned char c) { return kNeedsEscape[c]; }

void append_string(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!needs_escape(c)) continue;
    out.append(text.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '"': out.append("\\\""); break;
      case '\\': out.append("\\\\"); break;
      case '\b': out.append("\\b"); break;
      case '\t': out.append("\\t"); break;
      case '\n': out.append("\\n"); break;
      case '\f': out.append("\\f"); break;
      case '\r': out.append("\\r"); break;
      default: {
        const char escaped[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        out.append(escaped, sizeof escaped);
      }
    }
  }
  out.append(text.data() + run, text.size() - run);
  out.push_back('"');
}

template <class Integer>
void append_integer(Integer value, std::string& out) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void append_value(const Value& value, std::string& out, std::vector<const boost::json::key_value_pair*>& scratch);

void append_object(const Object& object, std::string& out, std::vector<const boost::json::key_value_pair*>& scratch) {
  // Members are written in ascending byte order of their names, whatever the
  // order in memory. `scratch` is shared down the recursion as a stack.
  const std::size_t base = scratch.size();
  for (const auto& member : object) scratch.push_back(&member);
  auto begin = scratch.begin() + static_cast<std::ptrdiff_t>(base);
  auto by_name = [](const auto* a, const auto* b) { return a->key() < b->key(); };
  if (!std::is_sorted(begin, scratch.end(), by_name)) std::sort(begin, scratch.end(), by_name);
  out.push_back('{');
  for (std::size_t i = base; i < scratch.size(); ++i) {
    const auto* member = scratch[i];
    if (i != base) out.push_back(',');
    append_string(member->key(), out);
    out.push_back(':');
    append_value(member->value(), out, scratch);
  }
  out.push_back('}');
  scratch.resize(base);
}

void append_value(const Value& value, std::string& out, std::vector<const boost::json::key_value_pair*>& scratch) {
  switch (value.kind()) {
    case boost::json::kind::null: out.append("null"); break;
    case boost::json::kind::bool_: out.append(value.get_bool() ? "true" : "false"); break;
    case boost::json::kind::int64: append_integer(value.get_int64(), out); break;
    case boost::json::kind::uint64: append_integer(value.get_uint64(), out); break;
    case boost::json::kind::double_: {
      const double d = value.get_double();
      if (std::isfinite(d)) {
        append_double(d, out);
      } else {
        out.append("null");
      }
      break;
    }
    case boost::json::kind::string: {
      const String& s = value.get_string();
      append_string(std::string_view(s.data(), s.size()), out);
      break;
    }
    case boost::json::kind::array: {
      out.push_back('[');
      bool first = true;
      for (const Value& element : value.get_array()) {
        if (!first) out.push_back(',');
        first = false;
        append_value(element, out, scratch);
      }
      out.push_back(']');
      break;
    }
    case boost::json::kind::object: append_object(value.get_object(), out, scratch); break;
  }
}

}  // namespace

void serialize_compact(const Value& value, std::string& out) {
  std::vector<const boost::json::key_value_pair*> scratch;
  append_value(value, out, scratch);
}

std::string to_compact_string(const Value& value) {
  std::string out;
  out.reserve(128);
  serialize_compact(value, out);
  return out;
}

}  // namespace orvix::json
