#include "json/tokenizer.h"

#include <boost/json/value_stack.hpp>

#include "json/byte_scan.h"
#include "json/text_rules.h"

namespace orvix::json {

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

Fault Tokenizer::fault_after(const char* place, std::string_view message) const {
  return fault_at(static_cast<std::size_t>(place - text_.data()), message);
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

Result<void, Fault> Tokenizer::literal_rest(std::string_view rest) {
  for (char expected : rest) {
    if (index_ == text_.size()) return error(fault::kEofInValue);
    if (text_[index_++] != expected) return error(fault::kExpectedIdent);
  }
  return {};
}

Result<void, Fault> Tokenizer::escape(std::string& out) {
  if (index_ == text_.size()) return error(fault::kEofInString);
  const char letter = text_[index_++];
  if (letter != 'u') {
    const int byte = simple_escape(letter);
    if (byte < 0) return error(fault::kInvalidEscape);
    out.push_back(static_cast<char>(byte));
    return {};
  }
  const char* const end = text_.data() + text_.size();
  const UnicodeEscape read = read_unicode_escape(text_.data() + index_, end);
  switch (read.fault) {
    case EscapeFault::kNone: break;
    case EscapeFault::kEndOfText: return fault_after(read.end, fault::kEofInString);
    case EscapeFault::kInvalidHex: return fault_after(read.end, fault::kInvalidEscape);
    case EscapeFault::kLoneSurrogate: return fault_after(read.end, fault::kLoneSurrogate);
    case EscapeFault::kExpectedSecondHalf: return fault_after(read.end, fault::kUnexpectedEndOfHexEscape);
  }
  char bytes[4];
  out.append(bytes, encode_utf8(read.code_point, bytes));
  index_ = static_cast<std::size_t>(read.end - text_.data());
  return {};
}

Result<std::string, Fault> Tokenizer::string_rest() {
  const char* const end = text_.data() + text_.size();
  const char* p = text_.data() + index_;
  const char* run = p;
  std::string out;
  // Escapes always decode to whole characters, so the decoded string is
  // valid UTF-8 exactly when every raw run is; the fault is named only once
  // the closing quote is found, after every other fault of the string.
  bool valid_utf8 = true;
  for (;;) {
    p = scan::find_escape_or_non_ascii(p, end);
    if (p == end) return fault_after(end, fault::kEofInString);
    if (static_cast<unsigned char>(*p) >= 0x80) {
      const std::size_t length = utf8_sequence_length(p, end);
      valid_utf8 = valid_utf8 && length != 0;
      p += length != 0 ? length : 1;
      continue;
    }
    out.append(run, p);
    const char c = *p++;
    index_ = static_cast<std::size_t>(p - text_.data());
    if (c == '"') {
      if (!valid_utf8) return error(fault::kInvalidCodePoint);
      return {boost::system::in_place_value, std::move(out)};
    }
    if (c != '\\') return error(fault::kControlCharacter);
    if (auto escaped = escape(out); !escaped) return escaped.error();
    p = run = text_.data() + index_;
  }
}

Result<Number, Fault> Tokenizer::number() {
  const char* const begin = text_.data() + index_;
  const NumberToken token = scan_number(begin, text_.data() + text_.size());
  switch (token.fault) {
    case NumberFault::kNone: break;
    case NumberFault::kEndOfText: return fault_after(token.end, fault::kEofInValue);
    case NumberFault::kInvalid: return fault_after(token.end, fault::kInvalidNumber);
  }
  index_ = static_cast<std::size_t>(token.end - text_.data());
  const auto number = number_value(std::string_view(begin, static_cast<std::size_t>(token.end - begin)), token.integer);
  if (!number) return error(fault::kNumberOutOfRange);
  return *number;
}

Result<bool, Fault> Tokenizer::next_element(bool first) {
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

Result<std::optional<std::string>, Fault> Tokenizer::next_member_name(bool first) {
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

Result<void, Fault> Tokenizer::member_colon() {
  auto next = peek();
  if (!next) return peek_error(fault::kEofInObject);
  if (*next != ':') return peek_error(fault::kExpectedColon);
  eat();
  return {};
}

Result<void, Fault> read_value(Tokenizer& t, std::size_t remaining_depth, boost::json::value_stack* out) {
  auto peeked = t.peek();
  if (!peeked) return t.peek_error(fault::kEofInValue);
  auto literal = [&](std::string_view rest, auto push) -> Result<void, Fault> {
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

Result<void, Fault> skip_value(Tokenizer& t, std::size_t remaining_depth) {
  return read_value(t, remaining_depth, nullptr);
}

std::optional<Fault> find_first_fault(std::string_view text, std::size_t max_depth) {
  Tokenizer t(text);
  if (auto value = skip_value(t, max_depth); !value) return value.error();
  if (t.peek()) return t.peek_error(fault::kTrailingCharacters);
  return std::nullopt;
}

Result<void, Fault> read_document(std::string_view text, std::size_t max_depth, boost::json::value_stack& out) {
  Tokenizer t(text);
  if (auto value = read_value(t, max_depth, &out); !value) return value.error();
  if (t.peek()) return t.peek_error(fault::kTrailingCharacters);
  return {};
}

}  // namespace orvix::json
