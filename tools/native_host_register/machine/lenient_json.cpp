#include "lenient_json.h"

#include <algorithm>

namespace orvix::register_tool {

namespace {

// Where the comment starting at `at` ends (one past it), or npos when `at`
// starts none or the block comment never ends.
std::size_t comment_end(std::string_view text, std::size_t at) {
  if (text.substr(at, 2) == "//") return std::min(text.find('\n', at), text.size());
  if (text.substr(at, 2) != "/*") return std::string_view::npos;
  const std::size_t close = text.find("*/", at + 2);
  return close == std::string_view::npos ? close : close + 2;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Whether the comma at `at` is trailing: only white space and comments
// stand between it and a closing bracket.
bool trailing_comma(std::string_view text, std::size_t at) {
  for (std::size_t i = at + 1; i < text.size();) {
    if (is_space(text[i])) {
      ++i;
    } else if (const std::size_t end = comment_end(text, i); end != std::string_view::npos) {
      i = end;
    } else {
      return text[i] == ']' || text[i] == '}';
    }
  }
  return false;
}

}  // namespace

std::string strip_json_leniency(std::string_view text) {
  std::string strict;
  strict.reserve(text.size());
  bool in_string = false;
  char last = 0;  // the last byte kept outside strings that is no white space
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (in_string) {
      // A backslash keeps the next byte, so \" does not end the string.
      const std::size_t length = c == '\\' && i + 1 < text.size() ? 2 : 1;
      strict.append(text.substr(i, length));
      in_string = c != '"';
      i += length;
    } else if (const std::size_t end = comment_end(text, i); end != std::string_view::npos) {
      strict += ' ';
      i = end;
    } else {
      // A comma after `[`, `{` or another comma follows no value: not trailing, but wrong.
      const bool dropped = c == ',' && last != '[' && last != '{' && last != ',' && trailing_comma(text, i);
      if (!dropped) strict += c;
      if (!dropped && !is_space(c)) last = c;
      in_string = c == '"';
      ++i;
    }
  }
  return strict;
}

}  // namespace orvix::register_tool
