// A byte-level JSON tokenizer with exact fault positions.
//
// It is the single source of truth for what a syntax fault is called and
// where it is: the parser uses it to describe a failure, and the typed
// descriptor reader walks files with it (it sees repeated members, which a
// value tree hides). What counts as valid text is decided by the rules it
// shares with the one-pass reader (text_rules.h).
//
// Position rule: "at line L column C", L counted from 1, C the number of bytes
// of that line read up to and including the offending one (0 when nothing of
// the line was read). `error()` places a fault after the bytes consumed so
// far; `peek_error()` also counts the next, not yet consumed, byte (capped at
// the end of the text). A number is consumed up to its last digit and a
// string up to its closing quote, so a fault about a value just read is an
// `error()`, one about the byte after it a `peek_error()`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <boost/json/value_stack.hpp>

#include "base/result.h"
#include "json/text_rules.h"

namespace orvix::json {

struct Fault {
  std::string message;  // e.g. "expected value"
  std::size_t line = 1;
  std::size_t column = 0;

  // "<message> at line L column C"
  std::string description() const;
};

// The fault names, worded once.
namespace fault {
inline constexpr std::string_view kEofInValue = "EOF while parsing a value";
inline constexpr std::string_view kEofInString = "EOF while parsing a string";
inline constexpr std::string_view kEofInList = "EOF while parsing a list";
inline constexpr std::string_view kEofInObject = "EOF while parsing an object";
inline constexpr std::string_view kExpectedValue = "expected value";
inline constexpr std::string_view kExpectedIdent = "expected ident";
inline constexpr std::string_view kExpectedListCommaOrEnd = "expected `,` or `]`";
inline constexpr std::string_view kExpectedObjectCommaOrEnd = "expected `,` or `}`";
inline constexpr std::string_view kExpectedColon = "expected `:`";
inline constexpr std::string_view kKeyMustBeString = "key must be a string";
inline constexpr std::string_view kTrailingCharacters = "trailing characters";
inline constexpr std::string_view kTrailingComma = "trailing comma";
inline constexpr std::string_view kInvalidEscape = "invalid escape";
inline constexpr std::string_view kInvalidNumber = "invalid number";
inline constexpr std::string_view kNumberOutOfRange = "number out of range";
inline constexpr std::string_view kControlCharacter =
    "control character (\\u0000-\\u001F) found while parsing a string";
inline constexpr std::string_view kInvalidCodePoint = "invalid unicode code point";
inline constexpr std::string_view kLoneSurrogate = "lone leading surrogate in hex escape";
inline constexpr std::string_view kUnexpectedEndOfHexEscape = "unexpected end of hex escape";
inline constexpr std::string_view kRecursionLimit = "recursion limit exceeded";
}  // namespace fault

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  // Skips JSON whitespace and returns the next byte without consuming it,
  // or nothing at the end of the text.
  std::optional<char> peek();
  // Consumes the byte that peek() returned.
  void eat() { ++index_; }
  std::size_t index() const { return index_; }

  Fault error(std::string_view message) const;
  Fault peek_error(std::string_view message) const;

  // The rest of a string whose opening quote has been consumed, decoded;
  // the closing quote is consumed too.
  [[nodiscard]] Result<std::string, Fault> string_rest();
  // A number whose first byte is the next one: '-' or a digit.
  [[nodiscard]] Result<Number, Fault> number();
  // The rest of a literal whose first byte has been consumed ("ull" for null).
  [[nodiscard]] Result<void, Fault> literal_rest(std::string_view rest);

  // Inside an array whose '[' has been consumed: true when an element follows
  // (the comma before it consumed), false at the closing ']' (not consumed).
  [[nodiscard]] Result<bool, Fault> next_element(bool first);
  // Inside an object whose '{' has been consumed: the next member's name (up
  // to its closing quote), or nothing at the closing '}' (not consumed).
  [[nodiscard]] Result<std::optional<std::string>, Fault> next_member_name(bool first);
  // The ':' after a member's name.
  [[nodiscard]] Result<void, Fault> member_colon();

 private:
  Fault fault_at(std::size_t index, std::string_view message) const;
  Fault fault_after(const char* place, std::string_view message) const;
  // After a backslash: appends what the escape stands for.
  [[nodiscard]] Result<void, Fault> escape(std::string& out);

  std::string_view text_;
  std::size_t index_ = 0;
};

// Checks one whole JSON text (one value, whitespace around it, at most
// `max_depth` nested containers) and returns its first fault, if any.
std::optional<Fault> find_first_fault(std::string_view text, std::size_t max_depth);

// Consumes one value of any kind, validating it; `remaining_depth` counts
// the containers that may still be opened.
[[nodiscard]] Result<void, Fault> skip_value(Tokenizer& tokenizer, std::size_t remaining_depth);

// Reads one whole JSON text like find_first_fault() and builds its value on
// `out` (which the caller has reset). The slow but exact path of parse_json().
[[nodiscard]] Result<void, Fault> read_document(std::string_view text, std::size_t max_depth,
                                                boost::json::value_stack& out);

}  // namespace orvix::json
