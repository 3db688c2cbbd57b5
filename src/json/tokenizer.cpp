#include "json/tokenizer.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include <boost/json/value_stack.hpp>

#include "json/char_rules.h"
#include "platform/utf8.h"

namespace orvix::json {

namespace {

void append_utf8(std::uint32_t code_point, std::string& out) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// Correctly rounded text-to-double; infinite when the magnitude is beyond a double.
double text_to_double(std::string_view text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size()) return value;
  // from_chars reports overflow and underflow alike; strtod tells them apart.
  std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

}  // namespace

std::string Fault::description() const {
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

Fault Tokenizer::fault_at(std::size_t index, std::string_view message) const {
  Fault fault{std::string(message), 1, 0};
  for (std::size_t i = 0; i < index; ++i) {
    if (text_[i] == '\n') {
      ++fault.line;
      fault.column = 0;
    } else {
      ++fault.column;
    }
  }
  return fault;
}

Fault Tokenizer::error(std::string_view message) const { return fault_at(index_, message); }

Fault Tokenizer::peek_error(std::string_view message) const {
  return fault_at(std::min(text_.size(), index_ + 1), message);
}

std::optional<char> Tokenizer::peek() {
  while (index_ < text_.size() && is_whitespace(text_[index_])) ++index_;
  if (index_ == text_.size()) return std::nullopt;
  return text_[index_];
}

TokenResult<void> Tokenizer::literal_rest(std::string_view rest) {
  for (char expected : rest) {
    if (index_ == text_.size()) return error(fault::kEofInValue);
    if (text_[index_++] != expected) return error(fault::kExpectedIdent);
  }
  return {};
}

TokenResult<std::uint16_t> Tokenizer::hex_escape() {
  if (text_.size() - index_ < 4) {
    index_ = text_.size();
    return error(fault::kEofInString);
  }
  std::uint16_t value = 0;
  bool valid = true;
  for (int k = 0; k < 4; ++k) {
    int digit = hex_value(text_[index_ + k]);
    if (digit < 0) valid = false;
    value = static_cast<std::uint16_t>((value << 4) | (digit & 0xF));
  }
  index_ += 4;
  if (!valid) return error(fault::kInvalidEscape);
  return value;
}

TokenResult<void> Tokenizer::unicode_escape(std::string& out) {
  auto first = hex_escape();
  if (!first) return first.error();
  std::uint32_t n = *first;
  if (n >= 0xDC00 && n <= 0xDFFF) return error(fault::kLoneSurrogate);
  if (n < 0xD800 || n > 0xDBFF) {
    append_utf8(n, out);
    return {};
  }
  // A leading surrogate must be followed by an escaped trailing one.
  for (char expected : {'\\', 'u'}) {
    if (index_ == text_.size()) return error(fault::kEofInString);
    if (text_[index_++] != expected) return error(fault::kUnexpectedEndOfHexEscape);
  }
  auto second = hex_escape();
  if (!second) return second.error();
  std::uint32_t n2 = *second;
  if (n2 < 0xDC00 || n2 > 0xDFFF) return error(fault::kLoneSurrogate);
  append_utf8((((n - 0xD800) << 10) | (n2 - 0xDC00)) + 0x10000, out);
  return {};
}

TokenResult<void> Tokenizer::escape(std::string& out) {
  if (index_ == text_.size()) return error(fault::kEofInString);
  switch (text_[index_++]) {
    case '"': out.push_back('"'); break;
    case '\\': out.push_back('\\'); break;
    case '/': out.push_back('/'); break;
    case 'b': out.push_back('\b'); break;
    case 'f': out.push_back('\f'); break;
    case 'n': out.push_back('\n'); break;
    case 'r': out.push_back('\r'); break;
    case 't': out.push_back('\t'); break;
    case 'u': return unicode_escape(out);
    default: return error(fault::kInvalidEscape);
  }
  return {};
}

TokenResult<std::string> Tokenizer::string_rest() {
  std::string out;
  std::size_t start = index_;
  for (;;) {
    while (index_ < text_.size()) {
      unsigned char c = static_cast<unsigned char>(text_[index_]);
      if (c == '"' || c == '\\' || c < 0x20) break;
      ++index_;
    }
    if (index_ == text_.size()) return error(fault::kEofInString);
    char c = text_[index_];
    out.append(text_.substr(start, index_ - start));
    ++index_;
    if (c == '"') {
      // The whole decoded string must be UTF-8; the fault sits after the closing quote.
      if (!platform::is_valid_utf8(out)) return error(fault::kInvalidCodePoint);
      return {boost::system::in_place_value, std::move(out)};
    }
    if (c != '\\') return error(fault::kControlCharacter);
    if (auto escaped = escape(out); !escaped) return escaped.error();
    start = index_;
  }
}

TokenResult<Number> Tokenizer::number() {
  const std::size_t start = index_;
  const bool negative = text_[index_] == '-';
  if (negative) ++index_;
  if (index_ == text_.size()) return error(fault::kEofInValue);
  const char first = text_[index_++];
  if (first == '0') {
    if (index_ < text_.size() && is_digit(text_[index_])) return peek_error(fault::kInvalidNumber);
  } else if (first >= '1' && first <= '9') {
    while (index_ < text_.size() && is_digit(text_[index_])) ++index_;
  } else {
    return error(fault::kInvalidNumber);
  }

  bool is_double = false;
  if (index_ < text_.size() && text_[index_] == '.') {
    ++index_;
    const std::size_t digits = index_;
    while (index_ < text_.size() && is_digit(text_[index_])) ++index_;
    if (index_ == digits) {
      return peek_error(index_ < text_.size() ? fault::kInvalidNumber : fault::kEofInValue);
    }
    is_double = true;
  }
  if (index_ < text_.size() && (text_[index_] == 'e' || text_[index_] == 'E')) {
    ++index_;
    if (index_ < text_.size() && (text_[index_] == '+' || text_[index_] == '-')) ++index_;
    if (index_ == text_.size()) return error(fault::kEofInValue);
    if (!is_digit(text_[index_++])) return error(fault::kInvalidNumber);
    while (index_ < text_.size() && is_digit(text_[index_])) ++index_;
    is_double = true;
  }

  const std::string_view span = text_.substr(start, index_ - start);
  Number number;
  if (!is_double) {
    const char* begin = span.data();
    const char* end = span.data() + span.size();
    if (!negative) {
      auto [ptr, ec] = std::from_chars(begin, end, number.u);
      if (ec == std::errc() && ptr == end) return number;
    } else {
      auto [ptr, ec] = std::from_chars(begin, end, number.i);
      // -0 is not a negative integer: it stays the double -0.0.
      if (ec == std::errc() && ptr == end && number.i != 0) {
        number.kind = Number::Kind::kSigned;
        return number;
      }
    }
  }
  number.kind = Number::Kind::kDouble;
  number.d = text_to_double(span);
  if (std::isinf(number.d)) return error(fault::kNumberOutOfRange);
  return number;
}

TokenResult<bool> Tokenizer::next_element(bool first) {
  auto next = peek();
  if (!next) return peek_error(fault::kEofInList);
  if (*next == ']') return false;
  if (first) return true;
  if (*next != ',') return peek_error(fault::kExpectedListCommaOrEnd);
  eat();
  next = peek();
  if (!next) return peek_error(fault::kEofInValue);
  if (*next == ']') return peek_error(fault::kTrailingComma);
  return true;
}

TokenResult<std::optional<std::string>> Tokenizer::next_member_name(bool first) {
  auto next = peek();
  if (!next) return peek_error(fault::kEofInObject);
  if (*next == '}') return std::optional<std::string>();
  if (!first) {
    if (*next != ',') return peek_error(fault::kExpectedObjectCommaOrEnd);
    eat();
    next = peek();
    if (!next) return peek_error(fault::kEofInValue);
    if (*next == '}') return peek_error(fault::kTrailingComma);
  }
  if (*next != '"') return peek_error(fault::kKeyMustBeString);
  eat();
  auto name = string_rest();
  if (!name) return name.error();
  return std::optional<std::string>(std::move(*name));
}

TokenResult<void> Tokenizer::member_colon() {
  auto next = peek();
  if (!next) return peek_error(fault::kEofInObject);
  if (*next != ':') return peek_error(fault::kExpectedColon);
  eat();
  return {};
}

TokenResult<void> read_value(Tokenizer& t, std::size_t remaining_depth, boost::json::value_stack* out) {
  auto peeked = t.peek();
  if (!peeked) return t.peek_error(fault::kEofInValue);
  auto literal = [&](std::string_view rest, auto push) -> TokenResult<void> {
    t.eat();
    if (auto ok = t.literal_rest(rest); !ok) return ok;
    if (out != nullptr) push();
    return {};
  };
  switch (*peeked) {
    case 'n': return literal("ull", [&] { out->push_null(); });
    case 't': return literal("rue", [&] { out->push_bool(true); });
    case 'f': return literal("alse", [&] { out->push_bool(false); });
    case '"': {
      t.eat();
      auto text = t.string_rest();
      if (!text) return text.error();
      if (out != nullptr) out->push_string(*text);
      return {};
    }
    case '[': {
      if (remaining_depth == 0) return t.peek_error(fault::kRecursionLimit);
      t.eat();
      std::size_t count = 0;
      for (bool first = true;; first = false) {
        auto more = t.next_element(first);
        if (!more) return more.error();
        if (!*more) break;
        if (auto element = read_value(t, remaining_depth - 1, out); !element) return element;
        ++count;
      }
      t.eat();
      if (out != nullptr) out->push_array(count);
      return {};
    }
    case '{': {
      if (remaining_depth == 0) return t.peek_error(fault::kRecursionLimit);
      t.eat();
      std::size_t count = 0;
      for (bool first = true;; first = false) {
        auto name = t.next_member_name(first);
        if (!name) return name.error();
        if (!*name) break;
        if (auto colon = t.member_colon(); !colon) return colon;
        if (out != nullptr) out->push_key(**name);
        if (auto member = read_value(t, remaining_depth - 1, out); !member) return member;
        ++count;
      }
      t.eat();
      if (out != nullptr) out->push_object(count);  // a repeated key keeps its last value
      return {};
    }
    default:
      if (*peeked == '-' || is_digit(*peeked)) {
        auto number = t.number();
        if (!number) return number.error();
        if (out != nullptr) {
          switch (number->kind) {
            case Number::Kind::kUnsigned: out->push_uint64(number->u); break;
            case Number::Kind::kSigned: out->push_int64(number->i); break;
            case Number::Kind::kDouble: out->push_double(number->d); break;
          }
        }
        return {};
      }
      return t.peek_error(fault::kExpectedValue);
  }
}

TokenResult<void> skip_value(Tokenizer& t, std::size_t remaining_depth) { return read_value(t, remaining_depth, nullptr); }

std::optional<Fault> find_first_fault(std::string_view text, std::size_t max_depth) {
  Tokenizer t(text);
  if (auto value = skip_value(t, max_depth); !value) return value.error();
  if (t.peek()) return t.peek_error(fault::kTrailingCharacters);
  return std::nullopt;
}

TokenResult<void> read_document(std::string_view text, std::size_t max_depth, boost::json::value_stack& out) {
  Tokenizer t(text);
  if (auto value = read_value(t, max_depth, &out); !value) return value.error();
  if (t.peek()) return t.peek_error(fault::kTrailingCharacters);
  return {};
}

}  // namespace orvix::json
