// Parsing runs Boost.JSON's parser with a handler of our own that builds the
// value (as Boost's own parser does) and applies the host's number rules.
// When Boost refuses the text, the tokenizer reads it again: it names the
// fault and its place in the host's words, or, for the rare valid text that
// Boost cannot take, builds the value itself.

#include "json/parse.h"

#include <charconv>
#include <cmath>

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/value_stack.hpp>

#include "json/tokenizer.h"

namespace orvix::json {

namespace {

namespace bj = boost::json;

struct ValueBuilder {
  static constexpr std::size_t max_object_size = bj::object::max_size();
  static constexpr std::size_t max_array_size = bj::array::max_size();
  static constexpr std::size_t max_key_size = bj::string::max_size();
  static constexpr std::size_t max_string_size = bj::string::max_size();

  bj::value_stack stack;
  std::string number_text;  // a number that arrives in parts
  bool out_of_range = false;

  bool on_document_begin(bj::error_code&) { return true; }
  bool on_document_end(bj::error_code&) { return true; }
  bool on_object_begin(bj::error_code&) { return true; }
  bool on_object_end(std::size_t n, bj::error_code&) {
    stack.push_object(n);  // a repeated key keeps its last value
    return true;
  }
  bool on_array_begin(bj::error_code&) { return true; }
  bool on_array_end(std::size_t n, bj::error_code&) {
    stack.push_array(n);
    return true;
  }
  bool on_key_part(bj::string_view s, std::size_t, bj::error_code&) {
    stack.push_chars(s);
    return true;
  }
  bool on_key(bj::string_view s, std::size_t, bj::error_code&) {
    stack.push_key(s);
    return true;
  }
  bool on_string_part(bj::string_view s, std::size_t, bj::error_code&) {
    stack.push_chars(s);
    return true;
  }
  bool on_string(bj::string_view s, std::size_t, bj::error_code&) {
    stack.push_string(s);
    return true;
  }
  bool on_number_part(bj::string_view s, bj::error_code&) {
    number_text.append(s.data(), s.size());
    return true;
  }
  bool on_int64(std::int64_t i, bj::string_view s, bj::error_code&) {
    // Boost reports every integer that fits an int64 here; the host keeps
    // non-negative ones unsigned, and "-0" is not a negative integer.
    const bool negative_text = !number_text.empty() ? number_text.front() == '-' : (!s.empty() && s.front() == '-');
    number_text.clear();
    if (i < 0) {
      stack.push_int64(i);
    } else if (negative_text) {
      stack.push_double(-0.0);
    } else {
      stack.push_uint64(static_cast<std::uint64_t>(i));
    }
    return true;
  }
  bool on_uint64(std::uint64_t u, bj::string_view, bj::error_code&) {
    number_text.clear();
    stack.push_uint64(u);
    return true;
  }
  bool on_double(double, bj::string_view s, bj::error_code& ec) {
    // Boost's conversion may be off by one unit in the last place and turns
    // overflow into infinity; the text is converted again, correctly rounded.
    number_text.append(s.data(), s.size());
    double value = 0;
    const char* begin = number_text.data();
    const char* end = begin + number_text.size();
    auto [ptr, error] = std::from_chars(begin, end, value);
    if (error == std::errc::result_out_of_range) value = std::strtod(number_text.c_str(), nullptr);
    number_text.clear();
    if (std::isinf(value)) {
      out_of_range = true;
      ec = bj::error::exponent_overflow;
      return false;
    }
    stack.push_double(value);
    return true;
  }
  bool on_bool(bool b, bj::error_code&) {
    stack.push_bool(b);
    return true;
  }
  bool on_null(bj::error_code&) {
    stack.push_null();
    return true;
  }
  bool on_comment_part(bj::string_view, bj::error_code&) { return true; }
  bool on_comment(bj::string_view, bj::error_code&) { return true; }
};

bj::parse_options host_options() {
  bj::parse_options options;
  options.max_depth = kMaxDepth;
  return options;
}

}  // namespace

boost::system::result<Value, ParseError> parse_json(std::string_view bytes) { return parse_json(bytes, {}); }

boost::system::result<Value, ParseError> parse_json(std::string_view bytes, bj::storage_ptr storage) {
  bj::basic_parser<ValueBuilder> parser(host_options());
  parser.handler().stack.reset(storage);
  bj::error_code ec;
  std::size_t consumed = parser.write_some(false, bytes.data(), bytes.size(), ec);
  // write_some stops after one value; what follows it is for the tokenizer to name.
  if (!ec && consumed == bytes.size()) return parser.handler().stack.release();
  // Boost refuses a few valid texts (an exponent beyond its range, such as
  // 1e-99999999999999999999, which reads as 0): the tokenizer decides, and
  // names the fault when there is one.
  bj::value_stack exact;
  exact.reset(storage);
  if (auto read = read_document(bytes, kMaxDepth, exact); !read) return ParseError{read.error().description()};
  return exact.release();
}

}  // namespace orvix::json
